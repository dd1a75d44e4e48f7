#include "listworkbook.h"

#include "workbookcells.h"

ListWorkbook::ListWorkbook(const QString &fileName)
    : m_fileName(fileName)
{
    if (fileName.isEmpty())
        return;
    m_reader = Excel::WorkbookCells::open(fileName, &m_openFailure);
    if (!m_reader)
        return;
    const QStringList names = m_reader->sheetNames();
    for (int i = 0; i < names.size(); ++i)
        m_sheets.append({names.at(i), i, {}});
}

ListWorkbook::~ListWorkbook() = default;

Excel::Reason ListWorkbook::readFailure() const
{
    return m_reader ? m_reader->failure() : m_openFailure;
}

QStringList ListWorkbook::sheetNames() const
{
    QStringList names;
    for (const Sheet &s : m_sheets)
        names << s.name;
    return names;
}

bool ListWorkbook::selectSheet(const QString &name)
{
    for (int i = 0; i < m_sheets.size(); ++i) {
        if (m_sheets.at(i).name == name) {
            m_current = i;
            return true;
        }
    }
    return false;
}

bool ListWorkbook::addSheet(const QString &name)
{
    if (sheetNames().contains(name))
        return false;
    m_sheets.append({name, -1, {}});
    m_current = m_sheets.size() - 1;
    return true;
}

Excel::CellArea ListWorkbook::dimension() const
{
    Excel::CellArea empty{1, 1, 0, 0};
    if (m_current < 0)
        return empty;
    const Sheet &sheet = m_sheets.at(m_current);
    Excel::CellArea area = empty;
    bool any = false;
    if (m_reader && sheet.readerIndex >= 0 && m_reader->usedRange(sheet.readerIndex, &area))
        any = true;
    for (auto it = sheet.written.constBegin(); it != sheet.written.constEnd(); ++it) {
        const int r = it.key().first, c = it.key().second;
        if (!any) {
            area = {r, c, r, c};
            any = true;
        } else {
            area = {qMin(area.firstRow, r), qMin(area.firstColumn, c), qMax(area.lastRow, r),
                    qMax(area.lastColumn, c)};
        }
    }
    return any ? area : empty;
}

QString ListWorkbook::read(int row, int column) const
{
    if (m_current < 0)
        return QString();
    const Sheet &sheet = m_sheets.at(m_current);
    const auto it = sheet.written.constFind({row, column});
    if (it != sheet.written.constEnd())
        return it.value();
    if (m_reader && sheet.readerIndex >= 0)
        return m_reader->cellText(sheet.readerIndex, row, column);
    return QString();
}

void ListWorkbook::write(int row, int column, const QString &text)
{
    if (m_current >= 0 && row >= 1 && column >= 1)
        m_sheets[m_current].written[{row, column}] = text;
}

bool ListWorkbook::write(const QString &cell, const QString &text)
{
    QVector<Excel::CellArea> areas;
    if (!Excel::parseRangeAddress(cell, Excel::OoxmlGrid, &areas) || areas.size() != 1
        || areas.first().cellCount() != 1)
        return false;
    write(areas.first().firstRow, areas.first().firstColumn, text);
    return true;
}

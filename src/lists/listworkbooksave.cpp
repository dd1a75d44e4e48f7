// Saving a list workbook, apart from reading one: what only reads list
// files does not need the .xlsx writer.

#include "listworkbook.h"

#include "listfilewriter.h"

#include <QCoreApplication>

bool ListWorkbook::save(QString *error)
{
    return saveAs(m_fileName, error);
}

bool ListWorkbook::saveAs(const QString &fileName, QString *error)
{
    QVector<ListFileWriter::Sheet> sheets;
    const int keep = m_current;
    for (int i = 0; i < m_sheets.size(); ++i) {
        m_current = i;
        ListFileWriter::Sheet out{m_sheets.at(i).name, {}};
        const Excel::CellArea area = dimension();
        if (m_sheets.at(i).readerIndex >= 0) {
            for (int r = area.firstRow; r <= area.lastRow; ++r)
                for (int c = area.firstColumn; c <= area.lastColumn; ++c) {
                    const QString text = read(r, c);
                    if (!text.isEmpty())
                        out.cells[{r, c}] = text;
                }
        } else {
            out.cells = m_sheets.at(i).written;
        }
        sheets.append(out);
    }
    m_current = keep;
    // A sheet read only in part must not be written back as if it were all.
    const Excel::Reason failure = readFailure();
    if (m_reader && !failure.isEmpty()) {
        *error = failure.within(QCoreApplication::translate("Lists", "cannot read %1").arg(m_fileName)).text();
        return false;
    }
    return ListFileWriter::write(fileName, sheets, error);
}

// The object model (Workbook, Sheets, Worksheet, Range) over an .xlsx
// package.

#include "formats.h"
#include "ooxmlbook.h"

#include "cellrules/celladdress.h"
#include "cellrules/searchpattern.h"

#include <QFileInfo>

namespace Excel {

namespace {

using Xlsx::OoxmlBook;
using Xlsx::WorksheetPart;

class OoxmlWorkbook;

class OoxmlRange : public Range
{
public:
    OoxmlRange(OoxmlWorkbook *book, int sheet, QVector<CellArea> areas, bool usedRange = false)
        : m_book(book)
        , m_sheet(sheet)
        , m_areas(std::move(areas))
        , m_usedRange(usedRange)
    {
    }

    bool Replace(const QString &what, const QString &replacement, int lookAt, int searchOrder, bool matchCase) override;
    void setValue(const QString &value) override;

private:
    // The sheet's cells, loaded, with the used range taken when it is one;
    // none when the part cannot be read (the workbook then failed).
    WorksheetPart *cells();

    OoxmlWorkbook *m_book;
    int m_sheet;
    QVector<CellArea> m_areas; // none on a sheet without cells
    // The sheet's used range, taken when the sheet is first parsed: a
    // search that its bytes rule out never parses it.
    bool m_usedRange;
};

class OoxmlWorksheet : public Worksheet
{
public:
    OoxmlWorksheet(OoxmlWorkbook *book, int index) : m_book(book), m_index(index) {}

    QString Name() const override;
    std::unique_ptr<Excel::Range> UsedRange() override;
    std::unique_ptr<Excel::Range> Range(const QString &cell1) override;

private:
    OoxmlWorkbook *m_book;
    int m_index;
};

class OoxmlSheets : public Sheets
{
public:
    explicit OoxmlSheets(OoxmlWorkbook *book) : m_book(book) {}
    int Count() const override;
    Worksheet *Item(int index) override;

private:
    OoxmlWorkbook *m_book;
};

class OoxmlWorkbook : public Workbook
{
public:
    explicit OoxmlWorkbook(std::unique_ptr<OoxmlBook> book)
        : m_book(std::move(book))
        , m_sheetsObject(this)
    {
        for (int i = 0; i < m_book->sheetCount(); ++i)
            m_sheets.push_back(std::make_unique<OoxmlWorksheet>(this, i));
    }

    QString Path() const override { return QFileInfo(m_book->path()).absolutePath(); }
    Excel::Sheets *Sheets() override { return &m_sheetsObject; }
    Worksheet *ActiveSheet() override { return m_sheets[size_t(m_book->activeSheet())].get(); }

    bool Save() override
    {
        if (m_failed)
            return false;
        QString error;
        if (!m_book->save(&error)) {
            m_error = error;
            return false;
        }
        return true;
    }

    bool prepareSave(std::unique_ptr<PendingSave> *pending) override
    {
        pending->reset();
        if (m_failed)
            return false;
        QString error;
        if (!m_book->prepareSave(pending, &error)) {
            m_error = error;
            return false;
        }
        return true;
    }

    QString lastError() const override { return m_error; }
    qint64 changedCells() const override { return qint64(m_book->changedCells()); }

    OoxmlBook &book() { return *m_book; }
    int sheetCount() const { return int(m_sheets.size()); }
    Worksheet *sheet(int index) { return m_sheets[size_t(index)].get(); }
    bool failed() const { return m_failed; }

    // Puts the workbook in the failed state: nothing will be saved.
    void fail(const QString &why)
    {
        if (!m_failed) {
            m_failed = true;
            m_error = why;
        }
    }

    // The sheet's cells, loaded; none (and the workbook failed) when its
    // part cannot be read; none without failing for a sheet without cells.
    WorksheetPart *cells(int index)
    {
        QString error;
        WorksheetPart *part = m_book->worksheet(index, &error);
        if (!part && !error.isEmpty())
            fail(error);
        return part;
    }

private:
    std::unique_ptr<OoxmlBook> m_book;
    std::vector<std::unique_ptr<OoxmlWorksheet>> m_sheets;
    OoxmlSheets m_sheetsObject;
    bool m_failed = false;
    QString m_error;
};

WorksheetPart *OoxmlRange::cells()
{
    WorksheetPart *part = m_book->cells(m_sheet);
    if (part && m_usedRange) {
        CellArea area{1, 1, 1, 1}; // an empty sheet: A1
        part->usedArea(&area);
        m_areas = {area};
        m_usedRange = false;
    }
    return part;
}

bool OoxmlRange::Replace(const QString &what, const QString &replacement, int lookAt, int, bool matchCase)
{
    // The order of the search does not change what each cell becomes.
    if (m_book->failed() || (m_areas.isEmpty() && !m_usedRange) || what.isEmpty())
        return false;
    const SearchPattern pattern(what, lookAt == xlWhole, matchCase);
    if (m_usedRange && !m_book->book().sheetMayMatch(m_sheet, Xlsx::PartPrescan(pattern)))
        return false;
    WorksheetPart *part = cells();
    if (!part)
        return false;
    bool changed = false;
    QString error;
    if (!part->replace(m_areas, pattern, replacement, &changed, &error)) {
        m_book->fail(error);
        return false;
    }
    return changed;
}

void OoxmlRange::setValue(const QString &value)
{
    if (m_book->failed() || (m_areas.isEmpty() && !m_usedRange))
        return;
    WorksheetPart *part = cells();
    if (!part)
        return;
    QString error;
    if (!part->setValue(m_areas, value, &error))
        m_book->fail(error);
}

QString OoxmlWorksheet::Name() const
{
    return m_book->book().sheet(m_index).name;
}

std::unique_ptr<Range> OoxmlWorksheet::UsedRange()
{
    if (!m_book->book().sheet(m_index).hasCells())
        return std::make_unique<OoxmlRange>(m_book, m_index, QVector<CellArea>());
    // The sheet itself is parsed when a search needs it; the styles every
    // sheet needs are read now.
    QString error;
    if (!m_book->book().loadStyles(&error)) {
        m_book->fail(error);
        return nullptr;
    }
    return std::make_unique<OoxmlRange>(m_book, m_index, QVector<CellArea>(), true);
}

std::unique_ptr<Range> OoxmlWorksheet::Range(const QString &cell1)
{
    if (!m_book->book().sheet(m_index).hasCells())
        return nullptr;
    QVector<CellArea> areas;
    if (!parseRangeAddress(cell1, OoxmlGrid, &areas))
        return nullptr;
    return std::make_unique<OoxmlRange>(m_book, m_index, areas);
}

int OoxmlSheets::Count() const
{
    return m_book->sheetCount();
}

Worksheet *OoxmlSheets::Item(int index)
{
    if (index < 1 || index > m_book->sheetCount())
        return nullptr;
    return m_book->sheet(index - 1);
}

} // namespace

std::unique_ptr<Workbook> openOoxmlWorkbook(const QString &path, QString *error)
{
    auto book = Xlsx::OoxmlBook::open(path, error);
    if (!book)
        return nullptr;
    return std::make_unique<OoxmlWorkbook>(std::move(book));
}

} // namespace Excel

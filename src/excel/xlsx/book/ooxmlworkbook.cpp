// An .xlsx package (Xlsx::OoxmlBook) as an engine of the object model.

#include "formats.h"
#include "xlsx/book/ooxmlbook.h"
#include "workbookengine.h"

namespace Excel {

namespace {

using Xlsx::OoxmlBook;
using Xlsx::WorksheetPart;

class OoxmlEngine : public WorkbookEngine
{
public:
    explicit OoxmlEngine(std::unique_ptr<OoxmlBook> book) : m_book(std::move(book)) {}

    QString path() const override { return m_book->path(); }
    GridLimits grid() const override { return OoxmlGrid; }
    int sheetCount() const override { return m_book->sheetCount(); }
    QString sheetName(int sheet) const override { return m_book->sheet(sheet).name; }
    bool sheetHasCells(int sheet) const override { return m_book->sheet(sheet).hasCells(); }
    int activeSheet() const override { return m_book->activeSheet(); }

    bool usedArea(int sheet, CellArea *area, QString *error) override
    {
        WorksheetPart *part = m_book->worksheet(sheet, error);
        if (!part)
            return false;
        *area = CellArea{1, 1, 1, 1}; // an empty sheet: A1
        part->usedArea(area);
        return true;
    }

    // The sheet itself is parsed when a search needs it; the styles every
    // sheet needs are read now.
    bool usedAreaLater(int, bool *later, QString *error) override
    {
        *later = true;
        return m_book->loadStyles(error);
    }

    bool sheetMayMatch(int sheet, const SearchPattern &pattern) override
    {
        return m_book->sheetMayMatch(sheet, Xlsx::PartPrescan(pattern));
    }

    // The order of the search does not change what each cell becomes, and
    // the used area holds every cell of the sheet.
    bool replace(int sheet, const QVector<CellArea> &areas, bool wholeSheet, const SearchPattern &pattern,
                 const QString &replacement, bool *changed, QString *error) override
    {
        return m_book->replace(sheet, areas, wholeSheet, pattern, replacement, changed, error);
    }
    // A replace over the whole sheet takes every cell there is: the used
    // area is not needed, and a large sheet need not be read whole for it.
    bool replacesWholeSheetWithoutArea() const override { return true; }

    bool setValue(int sheet, const QVector<CellArea> &areas, const QString &text, QString *error) override
    {
        WorksheetPart *part = m_book->worksheet(sheet, error);
        return part && part->setValue(areas, text, error);
    }

    bool finishWork(QString *error) override { return m_book->finishWork(error); }
    qint64 changedCells() const override { return qint64(m_book->changedCells()); }

    bool reportChanges(CellChangeSink *sink, QString *error) override { return m_book->reportChanges(sink, error); }

    bool prepareSave(std::unique_ptr<PendingSave> *pending, QString *error, bool *) override
    {
        return m_book->prepareSave(pending, error);
    }

private:
    std::unique_ptr<OoxmlBook> m_book;
};

} // namespace

std::unique_ptr<Workbook> openOoxmlWorkbook(const QString &path, QString *error, OpenedFile *opened)
{
    auto book = Xlsx::OoxmlBook::open(path, error, opened);
    if (!book)
        return nullptr;
    return workbookOver(std::make_unique<OoxmlEngine>(std::move(book)));
}

} // namespace Excel

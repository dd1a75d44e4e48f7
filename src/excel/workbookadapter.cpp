// The object model (Workbook, Sheets, Worksheet, Range) over a file
// format's engine.

#include "workbookengine.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <vector>

namespace Excel {

namespace {

class AdaptedWorkbook;

class AdaptedRange : public Range
{
public:
    // No areas: a range of a sheet without cells, on which nothing happens,
    // unless usedAreaLater: the used range, whose area is read when needed.
    AdaptedRange(AdaptedWorkbook *book, int sheet, QVector<CellArea> areas, bool wholeSheet,
                 bool usedAreaLater = false)
        : m_book(book), m_sheet(sheet), m_areas(std::move(areas)), m_wholeSheet(wholeSheet),
          m_usedAreaLater(usedAreaLater) {}

    bool Replace(const QString &what, const QString &replacement, int lookAt, int searchOrder,
                 bool matchCase) override;
    void setValue(const QString &value) override;

private:
    // Reads the used area put off until now; false when the workbook failed.
    bool takeUsedArea();

    AdaptedWorkbook *m_book;
    int m_sheet;
    QVector<CellArea> m_areas;
    bool m_wholeSheet; // the used range: every cell of the sheet
    bool m_usedAreaLater;
};

class AdaptedWorksheet : public Worksheet
{
public:
    AdaptedWorksheet(AdaptedWorkbook *book, int index) : m_book(book), m_index(index) {}

    QString Name() const override;
    std::unique_ptr<Excel::Range> UsedRange() override;
    std::unique_ptr<Excel::Range> Range(const QString &cell1) override;

private:
    AdaptedWorkbook *m_book;
    int m_index;
};

class AdaptedSheets : public Sheets
{
public:
    explicit AdaptedSheets(std::vector<std::unique_ptr<AdaptedWorksheet>> *sheets) : m_sheets(sheets) {}

    int Count() const override { return int(m_sheets->size()); }
    Worksheet *Item(int index) override
    {
        if (index < 1 || index > Count())
            return nullptr;
        return (*m_sheets)[size_t(index - 1)].get();
    }

private:
    std::vector<std::unique_ptr<AdaptedWorksheet>> *m_sheets;
};

class AdaptedWorkbook : public Workbook
{
public:
    explicit AdaptedWorkbook(std::unique_ptr<WorkbookEngine> engine)
        : m_engine(std::move(engine)), m_sheetsView(&m_sheets)
    {
        for (int i = 0; i < m_engine->sheetCount(); ++i)
            m_sheets.push_back(std::make_unique<AdaptedWorksheet>(this, i));
    }

    QString Path() const override { return QFileInfo(m_engine->path()).absolutePath(); }
    Excel::Sheets *Sheets() override { return &m_sheetsView; }
    Worksheet *ActiveSheet() override
    {
        const int i = m_engine->activeSheet();
        return i >= 0 && i < int(m_sheets.size()) ? m_sheets[size_t(i)].get() : nullptr;
    }

    bool Save() override
    {
        std::unique_ptr<PendingSave> pending;
        if (!prepareSave(&pending))
            return false;
        QString error;
        if (pending && !pending->commit(&error)) {
            m_lastError = QCoreApplication::translate("Excel", "save: ") + error;
            return false;
        }
        return true;
    }

    bool prepareSave(std::unique_ptr<PendingSave> *pending) override
    {
        pending->reset();
        finishWork();
        if (m_failed)
            return false;
        QString error;
        bool broken = false;
        if (!m_engine->prepareSave(pending, &error, &broken)) {
            m_lastError = error;
            m_failed = m_failed || broken;
            return false;
        }
        return true;
    }

    QString lastError() const override { return m_lastError; }
    qint64 changedCells() const override
    {
        // Asking is what puts off work to an end; the answer is the same.
        const_cast<AdaptedWorkbook *>(this)->finishWork();
        return m_engine->changedCells();
    }
    void keepOriginalTexts() override { m_engine->keepOriginalTexts(); }
    bool reportChanges(CellChangeSink *sink) override
    {
        finishWork();
        if (m_failed)
            return true; // it will not be saved: nothing changes
        QString error;
        if (m_engine->reportChanges(sink, &error))
            return true;
        m_lastError = error;
        return false;
    }

    WorkbookEngine &engine() { return *m_engine; }
    bool failed() const { return m_failed; }

    // Puts the workbook in the failed state: nothing will be saved, and
    // the first reason stays.
    void fail(const QString &why)
    {
        if (!m_failed) {
            m_failed = true;
            m_lastError = why;
        }
    }
    // The work the engine put off, done before its outcome is told: when
    // it fails, the workbook fails as the operation itself would have.
    void finishWork()
    {
        QString error;
        if (!m_failed && !m_engine->finishWork(&error))
            fail(error);
    }
    // Why an operation that yields no object failed; the workbook goes on.
    void noteError(const QString &why) { m_lastError = why; }

private:
    std::unique_ptr<WorkbookEngine> m_engine;
    std::vector<std::unique_ptr<AdaptedWorksheet>> m_sheets;
    AdaptedSheets m_sheetsView;
    QString m_lastError;
    bool m_failed = false;
};

bool AdaptedRange::Replace(const QString &what, const QString &replacement, int lookAt, int, bool matchCase)
{
    // The order of the search does not change what each cell becomes.
    if (m_book->failed() || (m_areas.isEmpty() && !m_usedAreaLater) || what.isEmpty())
        return false;
    const SearchPattern pattern(what, lookAt == xlWhole, matchCase);
    if (m_usedAreaLater && !m_book->engine().sheetMayMatch(m_sheet, pattern))
        return false;
    if (!(m_wholeSheet && m_book->engine().replacesWholeSheetWithoutArea()) && !takeUsedArea())
        return false;
    bool changed = false;
    QString error;
    if (!m_book->engine().replace(m_sheet, m_areas, m_wholeSheet, pattern, replacement, &changed, &error)) {
        m_book->fail(error);
        return false;
    }
    return changed;
}

void AdaptedRange::setValue(const QString &value)
{
    if (m_book->failed() || (m_areas.isEmpty() && !m_usedAreaLater) || !takeUsedArea())
        return;
    QString error;
    if (!m_book->engine().setValue(m_sheet, m_areas, value, &error))
        m_book->fail(error);
}

bool AdaptedRange::takeUsedArea()
{
    if (!m_usedAreaLater)
        return true;
    m_usedAreaLater = false;
    CellArea area;
    QString error;
    if (!m_book->engine().usedArea(m_sheet, &area, &error)) {
        m_book->fail(error);
        return false;
    }
    m_areas = {area};
    return true;
}

QString AdaptedWorksheet::Name() const
{
    return m_book->engine().sheetName(m_index);
}

std::unique_ptr<Range> AdaptedWorksheet::UsedRange()
{
    WorkbookEngine &engine = m_book->engine();
    if (!engine.sheetHasCells(m_index))
        return std::make_unique<AdaptedRange>(m_book, m_index, QVector<CellArea>(), false);
    CellArea area;
    QString error;
    bool later = false;
    if (!engine.usedAreaLater(m_index, &later, &error) || (!later && !engine.usedArea(m_index, &area, &error))) {
        m_book->fail(error);
        return nullptr;
    }
    if (later)
        return std::make_unique<AdaptedRange>(m_book, m_index, QVector<CellArea>(), true, true);
    return std::make_unique<AdaptedRange>(m_book, m_index, QVector<CellArea>{area}, true);
}

std::unique_ptr<Range> AdaptedWorksheet::Range(const QString &cell1)
{
    WorkbookEngine &engine = m_book->engine();
    const QString name = engine.sheetName(m_index);
    if (!engine.sheetHasCells(m_index)) {
        m_book->noteError(QCoreApplication::translate("Excel", "sheet '%1': it holds no cells (chart, dialog or macro sheet)").arg(name));
        return nullptr;
    }
    QVector<CellArea> areas;
    if (!parseRangeAddress(cell1, engine.grid(), &areas)) {
        QVector<CellArea> wide;
        const GridLimits grid = engine.grid();
        const bool narrower = grid.rows < OoxmlGrid.rows || grid.columns < OoxmlGrid.columns;
        if (narrower && parseRangeAddress(cell1, OoxmlGrid, &wide))
            m_book->noteError(QCoreApplication::translate("Excel", "sheet '%1': position %2 is outside the .xls grid").arg(name, cell1));
        else
            m_book->noteError(QCoreApplication::translate("Excel", "sheet '%1': cannot read position '%2'").arg(name, cell1));
        return nullptr;
    }
    return std::make_unique<AdaptedRange>(m_book, m_index, areas, false);
}

} // namespace

std::unique_ptr<Workbook> workbookOver(std::unique_ptr<WorkbookEngine> engine)
{
    return std::make_unique<AdaptedWorkbook>(std::move(engine));
}

} // namespace Excel

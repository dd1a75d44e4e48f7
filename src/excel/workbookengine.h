#pragma once

// What a file format provides for the object model (objectmodel.h): its
// sheets, their used ranges, Replace and Value set over cell areas, and the
// save in two steps. workbookOver() puts Workbook, Sheets, Worksheet and
// Range on top of any such engine, so the rules they share (the failed
// state, ranges on sheets without cells, which positions a sheet accepts,
// Save as prepare and commit) are written once for every format.

#include "atomicsave.h"
#include "objectmodel.h"

#include "cellrules/celladdress.h"
#include "cellrules/searchpattern.h"

#include <QString>
#include <QVector>
#include <memory>

namespace Excel {

class WorkbookEngine
{
public:
    virtual ~WorkbookEngine() = default;

    // The file as it was opened.
    virtual QString path() const = 0;
    // The rows and columns a position may name.
    virtual GridLimits grid() const = 0;

    // Sheets by 0-based index, in tab order, every kind counted.
    virtual int sheetCount() const = 0;
    virtual QString sheetName(int sheet) const = 0;
    // False for chart and dialog sheets (and, in .xls, macro sheets).
    virtual bool sheetHasCells(int sheet) const = 0;
    // The sheet that is active in the saved workbook; -1 for none.
    virtual int activeSheet() const = 0;

    // The used area of a sheet with cells; false with the reason when its
    // cells cannot be read.
    virtual bool usedArea(int sheet, CellArea *area, QString *error) = 0;

    // Whether the used area of a sheet may wait until a search or a write
    // needs it, so that a search the sheet's bytes rule out never reads its
    // cells (*later); false with the reason when what every sheet needs
    // cannot be read.
    virtual bool usedAreaLater(int /*sheet*/, bool *later, QString * /*error*/)
    {
        *later = false;
        return true;
    }
    // False only when a search with the pattern cannot find anything in a
    // sheet whose cells were not read yet.
    virtual bool sheetMayMatch(int /*sheet*/, const SearchPattern & /*pattern*/) { return true; }

    // Replace over the cells inside the areas, or over every cell of the
    // sheet for its used range (wholeSheet; areas then holds the used area).
    // *changed: whether a cell changed. False with the reason when a change
    // is not allowed or the cells cannot be read.
    virtual bool replace(int sheet, const QVector<CellArea> &areas, bool wholeSheet, const SearchPattern &pattern,
                         const QString &replacement, bool *changed, QString *error) = 0;
    // Whether replace over the whole sheet needs no used area (it is then
    // given none).
    virtual bool replacesWholeSheetWithoutArea() const { return false; }
    // Value set on every cell of the areas; false with the reason.
    virtual bool setValue(int sheet, const QVector<CellArea> &areas, const QString &text, QString *error) = 0;

    // Does the work that replace put off (an engine may gather the replaces
    // on a sheet and do them together); asked before changedCells,
    // reportChanges and prepareSave. False with the reason when that work
    // fails, which fails the workbook as the replace itself would have.
    virtual bool finishWork(QString * /*error*/) { return true; }

    // Cells changed since the workbook was opened, each counted once.
    virtual qint64 changedCells() const = 0;

    // What Workbook::keepOriginalTexts and reportChanges ask (objectmodel.h).
    virtual void keepOriginalTexts() {}
    virtual bool reportChanges(CellChangeSink *sink, QString *error) = 0;

    // Writes and checks the new file beside the old one, uncommitted (none
    // when nothing changed); committing it puts it in place and lets the
    // engine go on from what was written. (An engine may go on from it
    // already; until a commit, a later save writes every edit again.) False with the reason; *broken
    // when the workbook must not be saved at all any more.
    virtual bool prepareSave(std::unique_ptr<PendingSave> *pending, QString *error, bool *broken) = 0;
};

// The object model over the engine, which it owns.
std::unique_ptr<Workbook> workbookOver(std::unique_ptr<WorkbookEngine> engine);

} // namespace Excel

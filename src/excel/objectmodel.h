#pragma once

// The spreadsheet object model the workbook job drives: the handful of
// operations of Excel's Application / Workbooks / Workbook / Sheets /
// Worksheet / Range that a replacement run needs, spelled as Excel spells
// them. Each file format supplies its own Workbook, Sheets, Worksheet and
// Range; Application and Workbooks pick the format by the file's content.
//
// "An object or none": every getter that may fail returns a pointer that may
// be null. Collections and sheets are owned by their workbook; ranges are
// handed to the caller. Errors inside Replace and Value are not returned
// (Excel does not return them either): they leave the workbook in a failed
// state with a reason, and its Save refuses to write.

#include "atomicsave.h"
#include "cellchanges.h"

#include <QString>
#include <memory>

namespace Excel {

enum XlLookAt { xlWhole = 1, xlPart = 2 };
enum XlSearchOrder { xlByRows = 1, xlByColumns = 2 };

class Range
{
public:
    virtual ~Range() = default;

    // Replaces What by Replacement in every cell of the range (wildcards
    // ? * ~ in What, none in Replacement). Returns whether any cell changed.
    virtual bool Replace(const QString &what, const QString &replacement,
                         int lookAt, int searchOrder, bool matchCase) = 0;

    // Value set: writes the text into every cell of the range, read as typed
    // input (number, boolean, formula, 'text, text).
    virtual void setValue(const QString &value) = 0;
};

class Worksheet
{
public:
    virtual ~Worksheet() = default;

    virtual QString Name() const = 0;

    // The used range; a chart or dialog sheet has an empty one.
    virtual std::unique_ptr<Excel::Range> UsedRange() = 0;

    // A1-style position ("B2", "$a$1:c3", "A:A", "2:2", "A1, C3"); none
    // when it cannot be resolved on this sheet.
    virtual std::unique_ptr<Excel::Range> Range(const QString &cell1) = 0;
};

class Sheets
{
public:
    virtual ~Sheets() = default;

    virtual int Count() const = 0;

    // 1-based, every kind of sheet counted; none outside 1..Count.
    virtual Worksheet *Item(int index) = 0;
};

class Workbook
{
public:
    virtual ~Workbook() = default;

    // The folder that holds the workbook (Excel's Workbook.Path).
    virtual QString Path() const = 0;
    virtual Excel::Sheets *Sheets() = 0;
    virtual Worksheet *ActiveSheet() = 0;

    // Writes the changes back to the file, atomically; leaves the file alone
    // when nothing changed. False when the workbook is in a failed state or
    // the file could not be written; lastError() says why.
    virtual bool Save() = 0;

    // Save in two steps, for a caller that does something between writing
    // the new file and putting it in place: writes and checks the new file
    // beside the old one and hands it over uncommitted in *pending (none when
    // nothing changed). Committing it completes the save as Save() would;
    // dropping it leaves the file as it was. False as for Save().
    virtual bool prepareSave(std::unique_ptr<PendingSave> *pending) = 0;

    // Why the last failed operation failed (empty when none did).
    virtual QString lastError() const = 0;

    // How many cells Replace and Value set have changed since the workbook
    // was opened, each cell counted once however often it changed (Replace
    // itself only tells whether any cell changed).
    virtual qint64 changedCells() const = 0;

    // Asked before the first change when a record of the changes will be
    // wanted: the workbook then keeps what reportChanges() needs to tell
    // what each cell held when it was opened.
    virtual void keepOriginalTexts() = 0;
    // Tells the sink, sheet by sheet in tab order and row by row, every
    // cell that Replace or Value set changed whose text is not what it was
    // (a cell set to the text it had is left out); nothing for a workbook
    // in the failed state. False when a cell cannot be read (lastError()
    // says why) or the sink stopped.
    virtual bool reportChanges(CellChangeSink *sink) = 0;
};

} // namespace Excel

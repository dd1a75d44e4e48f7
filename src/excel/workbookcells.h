#pragma once

// Read-only access to the cells of the sheets of a workbook, for code that
// needs cell texts without the editing object model (the list files). It
// reads through the engine, so it refuses the same broken or hostile files.
// Only .xlsx workbooks are read: a list file is one.

#include "cellrules/celladdress.h"
#include "reason.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace Excel {

class OoxmlReader;

class WorkbookCells
{
public:
    ~WorkbookCells();
    WorkbookCells(const WorkbookCells &) = delete;
    WorkbookCells &operator=(const WorkbookCells &) = delete;

    // None, with the reason in *why, when the file cannot be read.
    static std::unique_ptr<WorkbookCells> open(const QString &path, Reason *why);

    // Every sheet in tab order, chart sheets included.
    QStringList sheetNames() const;

    // The used range of a sheet (0-based index), 1-based rows and columns;
    // false for an empty sheet, a sheet without cells, or one that cannot be
    // read (failure() then says why).
    bool usedRange(int sheet, CellArea *area);

    // The text of a cell: a string as it is, a number as the formula bar
    // shows it, TRUE/FALSE, an error as its code, a formula cell by its
    // cached value; empty for a missing cell or one that cannot be read.
    QString cellText(int sheet, int row, int column);

    // Why a read failed: the first failure since the workbook was opened;
    // empty when none has.
    const Reason &failure() const { return m_failure; }

private:
    WorkbookCells() = default;
    void noteFailure();

    std::unique_ptr<OoxmlReader> m_reader;
    Reason m_failure;
};

} // namespace Excel

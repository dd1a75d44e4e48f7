#pragma once

// What the tokens of a BIFF8 formula refer to outside themselves: the
// sheets by number, the reference table (EXTERNSHEET entries pointing into
// SUPBOOK records), the defined names (NAME) and the names of add-in and
// newer functions (EXTERNNAME). Read from the globals substream; a formula
// that names a sheet no entry covers yet gets a new entry here, which the
// workbook writes back into its EXTERNSHEET record.

#include "biffrecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace Excel {
namespace Biff {

struct FormulaNames
{
    enum class BookKind { Self, AddIn, External };
    struct SupBook
    {
        BookKind kind = BookKind::External;
        QStringList externNames; // EXTERNNAME records after it, in order
    };
    struct SheetRange // one EXTERNSHEET entry
    {
        int supBook = 0;
        int first = 0, last = 0; // sheet numbers; negative: none or deleted
    };
    struct DefinedName
    {
        QString text;
        int sheet = 0; // 0: the workbook's; n: local to the n-th sheet
        bool hidden = false;
    };

    QStringList sheets;               // in BOUNDSHEET order
    std::vector<SupBook> supBooks;
    std::vector<SheetRange> sheetRanges;
    std::vector<DefinedName> names;   // NAME records, in order (tokens count from 1)
    int selfBook = -1;                // the SUPBOOK of this workbook
    int externSheetRecord = -1;       // global record index of EXTERNSHEET
    int originalRangeCount = 0;

    // The entry for sheets first..last of this workbook, added when there is
    // none; -1 when the workbook has no reference table to add it to.
    int sheetRangeFor(int first, int last);
    bool rangesAdded() const { return int(sheetRanges.size()) != originalRangeCount; }
    // The EXTERNSHEET record's data with the added entries.
    QByteArray externSheetData() const;
};

// Reads the tables from the globals substream. Malformed records leave
// their entries out: formulas that use them are then not understood.
void readFormulaNames(const QByteArray &stream, const StreamIndex &index, const QStringList &sheets,
                      FormulaNames *names);

} // namespace Biff
} // namespace Excel

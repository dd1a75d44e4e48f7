#pragma once

// What the tokens of a BIFF8 formula refer to outside themselves: the
// sheets by number, the reference table (EXTERNSHEET entries pointing into
// SUPBOOK records), the defined names (NAME) and the names of add-in
// functions (EXTERNNAME). Read from the globals substream. A formula that
// needs what the workbook lacks gets it here, as Excel would store it, and
// the workbook writes it into the globals: an entry for sheets no entry
// covers yet (with the table itself when there is none), a name the
// workbook does not define (a NAME without a definition), a function newer
// than the file format (a hidden NAME "_xlfn.NAME"), an add-in or unknown
// function (an EXTERNNAME of the add-in SUPBOOK, which may be new too).

#include "xls/records/biffrecords.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
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
        bool function = false; // a name added for a newer function ("_xlfn.")
    };
    // Where the tables lie among the global records, for what is added.
    struct Places
    {
        std::vector<int> supBookEnd; // each SUPBOOK's last record (its EXTERNNAMEs and CRNs included)
        int externSheetEnd = -1;     // the EXTERNSHEET's last record
        bool externSheetSeen = false;
        int nameEnd = -1;            // the last NAME's last record
        int tableStart = -1;         // where tables and names go when the workbook has none
    };
    // How much there was, to take back what a failed formula added.
    struct Mark
    {
        size_t names = 0, supBooks = 0, sheetRanges = 0;
        std::vector<int> externNames;
        int selfBook = -1;
        bool tableCreated = false;
    };

    QStringList sheets;               // in BOUNDSHEET order
    std::vector<SupBook> supBooks;
    std::vector<SheetRange> sheetRanges;
    std::vector<DefinedName> names;   // NAME records, in order (tokens count from 1)
    int selfBook = -1;                // the SUPBOOK of this workbook
    int externSheetRecord = -1;       // global record index of EXTERNSHEET
    int originalRangeCount = 0;
    Places places;
    size_t originalNames = 0, originalSupBooks = 0;
    std::vector<int> originalExternNames; // per original SUPBOOK
    bool tableCreated = false;            // the EXTERNSHEET (and a SUPBOOK of this workbook) are new

    // The entry for sheets first..last of this workbook, added when there is
    // none; -1 when it cannot be added (the workbook's table is not
    // understood, or full).
    int sheetRangeFor(int first, int last);
    bool rangesAdded() const { return int(sheetRanges.size()) != originalRangeCount; }
    // The EXTERNSHEET record's data with the added entries.
    QByteArray externSheetData() const;

    // A workbook name for a name the workbook does not define, or for a
    // function newer than the file format (its "_xlfn." name); its 1-based
    // index, -1 when the name cannot be one.
    int addName(const QString &text, bool newerFunction);
    // An add-in function's name in the add-in SUPBOOK, added (with the
    // SUPBOOK) when missing: its 1-based index there, and in *ixti the
    // EXTERNSHEET entry that leads to it; -1 when it cannot be added.
    int addInFunction(const QString &name, int *ixti);

    Mark mark() const;
    void rollBack(const Mark &m);
    // The records added, each group by the global record it goes before.
    std::vector<std::pair<int, QByteArray>> addedRecords() const;
};

// Reads the tables from the globals substream. Malformed records leave
// their entries out: formulas that use them are then not understood.
void readFormulaNames(const QByteArray &stream, const StreamIndex &index, const QStringList &sheets,
                      FormulaNames *names);

} // namespace Biff
} // namespace Excel

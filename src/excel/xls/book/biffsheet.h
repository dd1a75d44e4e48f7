#pragma once

// One sheet of a BIFF8 workbook: its substream's records, and for sheets
// with cells the cell table as blocks of rows with their cells. Edits are
// kept beside the original records; laying the sheet out again copies every
// record that was not edited byte for byte, inserts new rows and cells in
// order and rebuilds the records that describe the layout (DBCELL, INDEX,
// DIMENSIONS).

#include "xls/records/biffrecords.h"
#include "xls/book/cellkeyset.h"
#include "xls/book/recordarena.h"
#include "xls/formula/formulatokens.h"
#include "cellrules/celladdress.h"
#include "cellrules/cellvalue.h"
#include "cellrules/searchpattern.h"
#include "xls/records/sharedstrings.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace Excel {

class CellChangeSink;

namespace Biff {

class Book;

// The tokens of a formula record at data + cceAt (cce, then rgce) and what
// follows them; false when the record is too short for them.
bool tokensAt(const char *data, int size, int cceAt, FormulaTokens *t);

// A record we built: type and data.
struct CellRecord
{
    quint16 type = 0; // 0: none
    QByteArray data;
    QByteArray tail;  // whole records that follow it (the ARRAY of an array formula)
};

enum class SheetKind { Worksheet, MacroSheet, DialogSheet, Chart, Other };

class Sheet
{
public:
    Sheet(Book *book, QString name, int boundSheetRecord)
        : m_book(book), m_name(std::move(name)), m_boundSheetRecord(boundSheetRecord) {}

    const QString &name() const { return m_name; }
    int boundSheetRecord() const { return m_boundSheetRecord; }
    int substream() const { return m_substream; }
    bool hasCells() const { return m_hasCells; }
    size_t itemCount() const { return m_items.size(); }
    bool isDirty() const { return m_dirty; }

    // Reads the substream; false with a reason when it is malformed.
    bool parse(int substream, QString *error);

    // The smallest rectangle holding every cell; A1 when there is none.
    CellArea usedArea() const;

    // Replace over the cells inside the areas (all cells when areas is
    // empty). False when a change is not allowed (error says why).
    bool replace(const QVector<CellArea> &areas, const SearchPattern &pattern, const QString &replacement,
                 bool *changed, QString *error);
    // Value set on every cell of the areas.
    bool setValue(const QVector<CellArea> &areas, const QString &text, QString *error);

    // Cells an edit changed (their record or their own string), each
    // counted once.
    int changedCells() const { return int(m_changedCells.size()); }
    // Tells the sink every one of them whose text differs from what it held
    // as read, row by row (biffsheetchanges.cpp). The shared strings must
    // have kept their entries as read since before the first edit.
    bool reportChanges(CellChangeSink *sink, QString *error) const;
    // Formula cells a search skipped because their tokens are not
    // understood, each counted once.
    int unreadFormulas() const { return int(m_unreadFormulas.size()); }

    // A formula cell as a search sees it: the tokens that hold its formula
    // (those of its shared or array formula, where it has one) and where
    // they are read from. False for cells that are searched as no formula
    // (parts of array formulas and data tables) and for malformed ones.
    struct FormulaCell
    {
        int row = 0, col = 0;
        FormulaTokens tokens;
        FormulaPlace place;
    };
    std::vector<FormulaCell> formulaCells() const;

    // Lets go of the cell table and the edits (Book::releaseCells); the
    // name, the kind and the used area stay.
    void releaseCells();
    // Lets go of what finds a cell, which laying out does not need.
    void releaseLookups();

    // Appends the laid-out substream to out (whose size is the new stream
    // offset). Clean sheets are copied and only their absolute offsets
    // fixed.
    void layOut(QByteArray &out) const;

private:
    enum ItemKind : quint8 { RowItem, CellItem, MultiItem, DbCellItem, OtherItem };
    // One record of the cell table, with the records that belong to it.
    // Twelve bytes, as a sheet may have millions: the record's type and a
    // MULRK's or MULBLANK's last column are read from the record index.
    struct Item
    {
        Item() : rec(0), kind(OtherItem), shadowed(false) {}
        quint32 rec : 28;     // first record (global index); a stream holds fewer than 2^28
        quint32 kind : 3;     // ItemKind
        quint32 shadowed : 1; // a later record stores one of its cells again
        int edit = -1;        // its first column's record in m_editCells
        quint16 row = 0;
        quint8 col = 0;
        quint8 recCount = 1;  // with the records that belong to it
    };
    static_assert(sizeof(Item) == 12, "an item is twelve bytes");
    static constexpr int MaxItemRecords = 127;
    static bool holdsCells(const Item &it) { return it.kind == CellItem || it.kind == MultiItem; }
    quint16 typeOf(const Item &it) const;
    // The last column of a cell item: its own for one cell, from the
    // record's size for a MULRK or MULBLANK.
    int lastColOf(const Item &it) const;
    struct Block
    {
        int firstItem = -1; // -1: a new block
        int itemCount = 0;
        int minRow = -1, maxRow = -1, rowRecords = 0;
        bool hasDbCell = false;
        bool dirty = false;
    };
    // A record an edit gave an item's column: its data, then the whole
    // records that follow it (the ARRAY of an array formula), in the
    // sheet's arena.
    struct EditedRecord
    {
        char *data = nullptr;
        quint32 tailSize = 0;
        quint16 type = 0;
        quint16 size = 0;

        const char *tail() const { return data + size; }
    };
    struct NewRow
    {
        int block = 0;
        CellRecord rec;
    };
    struct NewCell
    {
        int block = 0;
        CellRecord rec;
    };
    // A cell position as it stands: an existing item (and column), or a cell
    // added in this session.
    struct Slot
    {
        int item = -1;
        int col = 0;
        quint32 key = 0;
    };
    // A cell record as it stands. For one column of a MULRK or MULBLANK
    // the record is built in buf, and data points there; copies keep
    // pointing at their own buf.
    struct CellView
    {
        quint16 type = 0;
        const char *data = nullptr;
        int size = 0;
        char buf[10] = {};

        CellView() = default;
        CellView(const CellView &o) { *this = o; }
        CellView &operator=(const CellView &o)
        {
            type = o.type;
            size = o.size;
            std::memcpy(buf, o.buf, sizeof buf);
            data = o.data == o.buf ? buf : o.data;
            return *this;
        }
    };

    static quint32 keyOf(int row, int col) { return (quint32(row) << 8) | quint32(col); }
    QString where(int row, int col) const;

    bool parseTable(int first, int last, QString *error);
    bool addCellItem(int &r, int last, Item &item, QString *error);
    const char *recData(int rec) const;
    // The tables that find a cell or a row (and mark the records a later
    // one stores again) are made when first asked for: a book that is read
    // only to be checked, as a save reads its new file back, never needs them.
    void lookups() const
    {
        if (!m_lookupsBuilt)
            const_cast<Sheet *>(this)->buildLookups();
    }
    void buildLookups();
    // Makes the items' shadowed marks true, without the lookups when no
    // cell comes twice (cells in ascending order, as writers store them).
    void knowShadows() const
    {
        if (!m_shadowsKnown)
            const_cast<Sheet *>(this)->findShadows();
    }
    void findShadows();
    bool findSlot(int row, int col, Slot *slot) const;
    // The item that holds key (-1: none) when the cells ascend; false when
    // the search would be slow and the lookup table should answer.
    bool findAscending(quint32 key, int *item) const;
    // The cells the table stores, each once.
    int storedCells() const;
    // The block of the cell table an item is in (items are not told it: a
    // sheet may have millions).
    int blockOf(int item) const;
    // The new record of column col (counted from the item's first) of an
    // edited item, or null; its type is 0 while that column is unchanged.
    const EditedRecord *editOf(const Item &it, int col) const
    {
        return it.edit >= 0 ? &m_editCells[size_t(it.edit + col)] : nullptr;
    }
    // The item's edit, made now if it has none.
    EditedRecord &editAt(Item &it, int col);
    // The record's bytes, copied into m_editBytes.
    EditedRecord keep(quint16 type, const char *data, int size, const QByteArray &tail = QByteArray());
    // Whether column col of the item is the cell as it stands (no later
    // record stores it again).
    bool isLive(int item, int col) const;
    CellView view(const Slot &slot) const;
    // An item's cell as its record holds it, edits left aside: the record
    // itself, or one column of a MULRK or MULBLANK seen as an RK or BLANK.
    CellView recordView(const Item &it, const Slot &slot) const;
    // The record of changes (biffsheetchanges.cpp): a cell as read, edits
    // left aside, and the text the formula bar shows for a cell.
    CellView viewAsRead(const Slot &slot) const;
    QString shownText(const CellView &v, int row, int col, bool asRead) const;
    bool formulaAsRead(const CellView &v, int row, int col, FormulaTokens *tokens, FormulaPlace *place) const;
    quint16 xfOf(const CellView &v) const;
    bool canEdit(quint16 xf) const;
    int defaultXf(int row, int col) const;
    bool formulaBlocksWrite(const Slot &slot, int row, int col, QString *error) const;
    enum class FormulaRole { Plain, SharedMember, SharedMaster, ArrayAnchor, ArrayMember, Table, Broken };
    FormulaRole formulaOf(const CellView &v, int row, int col, FormulaTokens *tokens, FormulaPlace *place) const;
    bool anchorRecord(int row, int col, quint16 *type, const char **data, int *size) const;
    bool writeFormula(const Slot &slot, int row, int col, const CellView &current, const QString &body,
                      QString *error);
    bool dissolveIfMaster(int row, int col, const CellView &current, QString *error);
    int number() const;
    bool editCell(const Slot &slot, int row, int col, const CellView &current, const RetypeResult &result,
                  const QVector<FormatRun> *runs, QString *error);
    // False when the record is the one the cell already has.
    bool store(const Slot &slot, CellRecord rec);
    Slot createCell(int row, int col);
    int blockForNewRow(int row);
    static void widenRow(char *rowData, int col);
    void noteCell(int row, int col);

    using NewRecords = std::vector<std::pair<quint32, const CellRecord *>>; // (row or cell key, record)
    void emitBlock(QByteArray &out, int b, const NewRecords &rows, const NewRecords &cells,
                   std::vector<quint32> &dbcells) const;
    void copyRecords(QByteArray &out, int first, int count) const;
    void patchIndex(QByteArray &out, quint32 indexPos, quint32 defColWidthPos,
                    const std::vector<quint32> &dbcells) const;

    Book *m_book;
    QString m_name;
    int m_boundSheetRecord;
    int m_substream = -1;
    SheetKind m_kind = SheetKind::Other;
    bool m_hasCells = false;
    bool m_protected = false;
    bool m_dirty = false;

    int m_indexRec = -1, m_dimensionsRec = -1, m_defColWidthRec = -1;
    bool m_indexKept = false;   // INDEX lists every DBCELL, so it is maintained
    bool m_usesDbCells = false;
    int m_tableStart = 0, m_tableEnd = 0; // [start, end) global record range of the cell table
    struct ColInfo { int first, last, xf; };
    std::vector<ColInfo> m_colInfo;

    std::vector<Item> m_items;
    // The new records of edited items: one per column of an item, in a row
    // from the item's edit on; type 0 = unchanged. Their bytes are in
    // m_editBytes.
    std::vector<EditedRecord> m_editCells;
    RecordArena m_editBytes;
    std::vector<Block> m_blocks;
    std::vector<int> m_blockOrder;
    int m_tableBlocks = 0; // the first blocks in m_blocks, in item order; later ones are new
    bool m_lookupsBuilt = false;
    bool m_shadowsKnown = false;
    std::vector<std::pair<quint32, int>> m_lookup; // sorted (key, item)
    std::vector<std::pair<quint16, int>> m_rowItems; // sorted (row, item)
    std::vector<std::pair<quint16, int>> m_rowCellBlock; // sorted (row, block) of rows with cells
    std::map<quint32, NewCell> m_newCells;
    std::map<quint16, NewRow> m_newRows;
    CellKeySet m_changedCells;
    CellKeySet m_unreadFormulas;
    bool m_hasBounds = false;
    int m_minRow = 0, m_maxRow = 0, m_minCol = 0, m_maxCol = 0; // 0-based
};

} // namespace Biff
} // namespace Excel

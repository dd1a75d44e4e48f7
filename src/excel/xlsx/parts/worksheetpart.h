#pragma once

// One worksheet part: parsed once into compact per-cell and per-row
// records that point into the part's bytes, searched and edited through
// those records, and saved by splicing: unchanged bytes are copied, changed
// <c> elements replaced, new cells and rows inserted in order.
//
// The part's bytes may be released while the records stay (only one sheet
// needs its bytes at a time); they are read again, CRC-checked, when the
// sheet is used or saved.

#include "xlsx/cells/cellxml.h"
#include "xlsx/parts/pagedvector.h"
#include "xlsx/package/opcpackage.h"
#include "xlsx/parts/sharedstrings.h"
#include "xlsx/parts/stylespart.h"
#include "xlsx/zip/zipwriter.h"

#include "cellrules/celladdress.h"
#include "cellrules/cellvalue.h"
#include "cellrules/searchpattern.h"

#include <QHash>
#include <QMap>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace Excel {

class CellChangeSink;

namespace Xlsx {

// A decimal number of raw (digits only) no greater than limit.
bool readNumber(std::string_view raw, quint64 limit, quint32 *value);

// What the sheets of one workbook share, and what their edits tell the
// workbook to do when it is saved.
struct BookContext
{
    const OpcPackage *package = nullptr;
    Conformance family = Conformance::Transitional;
    SharedStrings *sharedStrings = nullptr; // none: the package has no table
    const StylesPart *styles = nullptr;
    QStringList sheetNames;      // every sheet's, in tab order: what a formula may refer to
    bool formulaChanged = false; // a formula was written: recalculate on open
    bool valueChanged = false;   // a value changed: dependent results are stale
    bool formulaRemoved = false; // a formula cell became a constant: calc chain goes
    quint64 edits = 0;           // cells changed so far
    quint64 changedCells = 0;    // cells a Replace or Value set changed, each counted once
    bool byteEdits = true;       // plain text cells edited from their bytes (off: every cell parsed in full)
    bool cellScan = true;        // plain cells read straight from their bytes when a sheet is parsed (off: all tokenized)
    quint64 byteEdited = 0;      // cells changed that way
    // How many cells of the parsed sheets name each shared string, as read;
    // unknown once a cell names one in a form the parse does not read.
    std::vector<quint32> sharedReferences;
    bool sharedReferencesUnknown = false;
};

class PartPrescan;

// The whole grid as one area: a replace over every cell of a sheet.
const QVector<CellArea> &everyCell();

// A cell whose only change is the shared string it names: from entry
// `from` of the table as read to the new entry `to`.
struct SharedMove
{
    quint32 cell;
    quint32 from;
    quint32 to;
};

class WorksheetPart
{
public:
    WorksheetPart(BookContext *book, const QString &partName);

    const QString &partName() const { return m_partName; }

    // Parses the part the first time; afterwards only reads its bytes again
    // when they were released.
    bool load(QString *error);
    bool isParsed() const { return m_parsed; }
    // Parses the given bytes as the part (the first time; later the same
    // bytes are expected).
    bool parseData(QByteArray data, QString *error);
    void releaseXml();
    qint64 xmlSize() const { return m_xml.size(); }

    // For a part read a window of rows at a time (streamedsheet.h): set
    // before parseData. Rows that name no number count on from rowBase;
    // countsReferences: whether the parse adds its cells' shared-string
    // references to the book's counts (only the first pass over a part).
    void setWindow(quint32 rowBase, bool countsReferences)
    {
        m_rowBase = rowBase;
        m_countsReferences = countsReferences;
    }
    // Whether its cells can be edited one window at a time: no formula of
    // any kind (shared and array formulas tie cells together), rows and
    // cells in order, and no protection.
    bool editsLocally() const;
    bool isProtected() const { return m_protected; }
    // The first and last row number; false for a part without rows.
    bool rowSpan(quint32 *first, quint32 *last) const;
    // Where the sheetData start tag ends; -1 when there is none.
    qint64 sheetDataStartTagEnd() const { return m_sheetDataStartTagEnd; }

    // The smallest rectangle of the cells that have a value, a formula or a
    // style of their own; false when there is none.
    bool usedArea(CellArea *area) const;

    // Replaces in every cell inside the areas. *changed: whether a cell
    // changed. False (with the reason) when a change is not allowed; cells
    // changed before stay changed, the workbook is then failed anyway.
    // What the cache below holds for an entry not met yet.
    static constexpr qint32 UnseenEntry = -2;
    // cache: what each shared string becomes under this replace, kept by a
    // caller that runs the same replace over several windows of one part
    // (none: kept for this call only).
    bool replace(const QVector<CellArea> &areas, const SearchPattern &pattern, const QString &replacement,
                 bool *changed, QString *error, std::vector<qint32> *cache = nullptr);

    // Writes typed input into every cell of the areas.
    bool setValue(const QVector<CellArea> &areas, const QString &text, QString *error);

    bool isChanged() const { return !m_edits.empty(); }

    // The cells whose only change is the shared string they name; *others:
    // how many other cells changed, *othersShared: whether one of them
    // names a shared string.
    void sharedMoves(std::vector<SharedMove> *moves, quint32 *others, bool *othersShared) const;

    // Streams the changed part (its bytes must be loaded). The cells in
    // asRead (ascending) are written as they were read.
    bool write(ByteSink *sink, QString *error, const std::vector<quint32> &asRead = {}) const;

    // Whether Replace or Value set changed a cell of this sheet.
    bool hasReportedChanges() const { return std::find(m_counted.begin(), m_counted.end(), true) != m_counted.end(); }
    // Tells the sink, as sheet, every cell Replace or Value set changed
    // whose text differs from what it held as read, by position (see
    // worksheetchanges.cpp). Cells whose element as read must be parsed
    // again need the part's bytes loaded.
    bool reportChanges(const QString &sheet, CellChangeSink *sink, QString *error) const;
    // Whether that needs the part's bytes: false when every changed cell
    // only moved to another shared string, whose texts tell it all.
    bool reportNeedsXml() const;

    // For readers: the cell at a position (-1 when there is none) and its
    // current content.
    int findCell(int row, int column) const;
    bool cellContent(int index, CellContent *content, QString *error) const;

private:
    enum CellFlag : quint8 {
        HasValue = 1,     // a <v> element
        PlainValue = 2,   // ... holding character data only
        HasInline = 4,
        InArrayRange = 8, // inside an array or data-table range, not its anchor
        NewCell = 16,
        PlainInline = 32, // an inline string of one plain <t>, its text at valueBegin..valueEnd
        FormulaText = 64, // the formula's raw text at begin + formulaOffset, formulaLength bytes
        MemberIndex = 128 // a shared-formula member; its si is formulaOffset << 16 | formulaLength
    };

    struct CellRecord
    {
        quint32 row;
        quint16 column;
        CellType type;
        quint8 flags;
        quint32 begin; // the <c> element in the part
        quint32 end;
        quint32 style;
        quint32 valueBegin; // raw text of <v>
        quint32 valueEnd;
        quint32 edit; // 1-based index into m_edits; 0: unchanged
        quint16 scope;
        FormulaKind formula;
        quint8 reserved;
        quint16 formulaOffset;
        quint16 formulaLength;
    };

    struct RowRecord
    {
        quint32 row;
        quint32 begin;
        quint32 startTagEnd;
        quint32 endTagBegin; // == startTagEnd for <row/>
        quint32 end;
        quint32 firstCell;
        quint32 cellCount;
        quint32 style;      // s, when customFormat says it applies
        quint32 spansBegin; // value of the spans attribute; 0 when none
        quint32 spansEnd;
        quint32 spansAttributeBegin; // the whole spans="…"
        quint32 spansAttributeEnd;
        bool selfClosing;
    };

    struct Edit
    {
        quint32 begin; // in m_arena; for a MovedElement edit, the index into m_moves
        quint32 length;
    };
    // The length of an edit whose element is not kept: the cell's element
    // as read with the digits of its value replaced by its move's entry,
    // made again when it is needed. A sheet where every other cell moves to
    // another shared string keeps no second copy of those cells.
    static constexpr quint32 MovedElement = ~0u;
    // The cell's changed element (a view into m_arena, or made in *buffer).
    QByteArray editedElement(const CellRecord &r, QByteArray *buffer) const;

    struct ArrayRange
    {
        CellArea area;
        quint32 anchor;
    };

    struct ColumnStyle
    {
        int first, last;
        quint32 style;
    };

    bool parse(QString *error);
    // Reads the cell element at `at` when it is in a plain form (see
    // worksheetcellscan.cpp), records it and moves t past it; false, with
    // nothing changed, when it is not.
    bool scanPlainCell(XmlTokenizer &t, qint64 at, const RowRecord &row, quint32 *prevCol);
    // The same for a whole row, white space before it included: its start
    // tag, its cells, each plain, and its end tag.
    bool scanPlainRow(XmlTokenizer &t, qint64 at, quint32 *prevRow);
    // What a row's start tag says, however it was read: its number (the
    // one after prevRow when it names none), where its spans are, and its
    // style when customFormat applies it; false, with *why, for a number
    // that is no row of a sheet.
    static bool readRowAttributes(const XmlAttribute *r, const XmlAttribute *spans, const XmlAttribute *customFormat,
                                  const XmlAttribute *s, quint32 prevRow, RowRecord *row, QString *why);
    bool markArrayRanges(QString *error);
    quint16 scopeFor(const XmlTokenizer &t);

    static quint64 key(quint32 row, quint32 column) { return (quint64(row) << 16) | column; }
    QString where(const CellRecord &r) const;

    // The text a search sees in a cell, or false when it sees nothing.
    enum class Subject { None, SharedText, InlineText, ConstantText, Number, Boolean, Formula };
    Subject subjectOf(int index, const CellContent &c, QString *text, QString *error) const;
    // What a search would see in an unchanged cell, read from the record
    // alone where it can be: false when only a full parse can tell.
    bool quickSubject(int index, QString *text, QString *error) const;
    QString sharedMasterText(quint32 si, QString *error) const;

    // The byte path for plain text cells (worksheetfastedit.cpp): Done
    // when it edited the cell or found nothing to change, Fallback when
    // the cell needs the full path.
    enum class ByteEdit { Done, Fallback };
    struct ByteJob
    {
        bool enabled = false;
        std::string replacement; // UTF-8
        const PartPrescan *scan = nullptr; // what every match holds, if known
    };
    ByteJob byteJob(const QString &replacement) const;
    ByteEdit replaceTextBytes(int index, const SearchPattern &pattern, const ByteJob &job, bool *changed);
    // The text (after lead) after the replace in m_byteResult; *changed:
    // whether it differs. False when only the full path can read the text.
    bool replaceBytes(std::string_view lead, const char *raw, size_t size, const SearchPattern &pattern,
                      const ByteJob &job, bool *changed);
    ByteEdit replaceFormulaBytes(int index, const SearchPattern &pattern, const ByteJob &job, bool *changed);
    // Rewrites a plain shared-string cell, unchanged or only moved before,
    // for its new entry, or clears it; false when its bytes are not in the
    // plain form.
    bool rewriteSharedCell(int index, quint32 current, bool cleared, quint32 entry);
    void countSharedReferences();
    bool commitBytes(int index, CellType type, bool hasValue, bool hasInline,
                     FormulaKind formula = FormulaKind::None);

    bool replaceInCell(int index, CellContent &c, Subject subject, const QString &text, const SearchPattern &pattern,
                       const QString &replacement, bool *changed, QString *error);
    bool replaceSharedString(int index, quint32 sst, const SearchPattern &pattern, const PartPrescan &scan,
                             const QString &replacement, const ByteJob &job, std::vector<qint32> *cache, bool *changed,
                             QString *error);
    // The new value of a cell after an edit.
    bool applyValue(int index, CellContent &c, const CellValue &value, const RichText *rich, QString *error);
    void setText(CellContent &c, const QString &text, const RichText *rich);
    bool commit(int index, const CellContent &before, CellContent &after, bool userChange, QString *error);
    // Puts a cell's new element in the arena and its record in step with
    // it (content: HasValue, HasInline); false when the arena would
    // outgrow its 32-bit offsets.
    bool storeEdit(int index, const QByteArray &element, bool userChange, CellType type, FormulaKind formula,
                   quint8 content, bool valueNotEmpty);
    // The record of an edit, its element stored already (or not at all).
    void recordEdit(int index, const Edit &edit, bool userChange, CellType type, FormulaKind formula, quint8 content,
                    bool valueNotEmpty);
    bool dissolveSharedGroup(int masterIndex, const CellContent &master, QString *error);
    // The record of changes (worksheetchanges.cpp): a cell's text as the
    // formula bar shows it, now or as read; strings caches shared strings.
    struct StringCache
    {
        std::vector<QString> texts; // by entry
        std::vector<bool> known;
    };
    // latest: the cell's latest move, if any.
    struct MoveRecord;
    bool textNow(quint32 index, const MoveRecord *latest, StringCache *strings, QString *text, QString *error) const;
    bool textAsRead(quint32 index, const MoveRecord *latest, StringCache *strings, QString *text,
                    QString *error) const;
    bool shownText(quint32 index, const CellContent &c, bool asRead, StringCache *strings, QString *text,
                   QString *error) const;
    bool sharedEntryText(quint32 entry, StringCache *strings, QString *text, QString *error) const;
    // The entry's text in the cache (sized to the table beforehand).
    bool cachedEntry(quint32 entry, StringCache *strings, const QString **text, QString *error) const;
    bool sharedMemberText(int index, const CellContent &c, QString *text, QString *error) const;
    quint32 newCellStyle(int row, int column) const;
    int rowIndexOf(quint32 row) const;

    BookContext *m_book;
    QString m_partName;
    QByteArray m_xml;
    bool m_parsed = false;
    int m_ns = NsMainTransitional;
    quint32 m_rowBase = 0;
    bool m_countsReferences = true;

    PagedVector<CellRecord> m_cells;
    quint32 m_originalCells = 0;
    PagedVector<RowRecord> m_rows;
    std::vector<quint32> m_order; // cells by position, when the file's order is not that
    bool m_rowsOrdered = true;
    bool m_cellsOrdered = true;
    QHash<quint64, quint32> m_newCells;
    std::vector<XmlScope> m_scopes;
    quint32 m_lastScopeVersion = ~0u;

    QByteArray m_sheetDataPrefix;
    quint16 m_sheetDataScope = 0;
    qint64 m_sheetDataBegin = -1, m_sheetDataStartTagEnd = -1, m_sheetDataEndTagBegin = -1, m_sheetDataEnd = -1;
    bool m_sheetDataSelfClosing = false;
    qint64 m_dimensionBegin = -1, m_dimensionEnd = -1; // value of dimension/@ref
    CellArea m_dimension;
    bool m_dimensionValid = false;
    bool m_protected = false;
    std::vector<ColumnStyle> m_columnStyles;

    std::vector<ArrayRange> m_arrays;
    QHash<quint32, quint32> m_sharedMasters;                // si -> cell
    QHash<quint32, quint32> m_dissolvedMasters;             // si -> cell, of groups dissolved since
    std::vector<std::pair<quint32, quint32>> m_sharedMembers; // (si, cell)
    mutable QHash<quint32, QString> m_sharedText;           // master formula by si
    mutable bool m_membersSorted = false;

    std::string m_byteText, m_byteResult; // reused by the byte path
    std::vector<TextSpan> m_byteSpans;
    QByteArray m_byteElement;

    // Cells moved to another shared string, and where their value was read.
    struct MoveRecord
    {
        SharedMove move;
        quint32 edit; // the cell's edit that made it; stale once another follows
        quint32 valueBegin, valueEnd;
    };
    PagedVector<MoveRecord> m_moves;
    // The move that made the cell what it is now: its edit is that move's
    // (MovedElement); none when it did not move or changed again since.
    const MoveRecord *currentMove(const CellRecord &r) const
    {
        if (!r.edit || m_edits[r.edit - 1].length != MovedElement)
            return nullptr;
        return &m_moves[m_edits[r.edit - 1].begin];
    }

    QByteArray m_arena;
    PagedVector<Edit> m_edits;
    std::vector<bool> m_counted; // by cell: already in BookContext::changedCells
};

} // namespace Xlsx
} // namespace Excel

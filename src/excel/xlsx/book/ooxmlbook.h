#pragma once

// A workbook package as the engine sees it: the workbook part found
// through the package relationships, its sheets in tab order with their
// kinds, the active tab, and, loaded when a sheet first needs them, the
// shared strings, the styles and the sheets' own parts. Saving writes only
// the parts that changed.

#include "xlsx/package/opcpackage.h"
#include "xlsx/cells/partprescan.h"
#include "xlsx/parts/sharedstrings.h"
#include "xlsx/parts/streamedsheet.h"
#include "xlsx/parts/stylespart.h"
#include "xlsx/parts/worksheetpart.h"

#include <QHash>

#include <memory>
#include <vector>

namespace Excel {
namespace Xlsx {

enum class SheetKind { Worksheet, Chartsheet, Dialogsheet, Macrosheet, Other };

struct SheetEntry
{
    QString name;
    SheetKind kind = SheetKind::Other;
    QString partName;
    std::unique_ptr<WorksheetPart> part; // worksheets and macro sheets, once used
    std::unique_ptr<StreamedSheet> stream; // a large sheet worked on in windows instead
    bool wholeOnly = false;                // not to be worked on in windows

    bool hasCells() const { return kind == SheetKind::Worksheet || kind == SheetKind::Macrosheet; }
};

class OoxmlBook
{
public:
    static constexpr quint64 DefaultStreamFrom = quint64(16) << 20;
    static constexpr size_t DefaultWindowBytes = size_t(4) << 20;

    static std::unique_ptr<OoxmlBook> open(const QString &path, QString *error, OpenedFile *opened = nullptr);

    const QString &path() const { return m_package->path(); }
    Conformance conformance() const { return m_context.family; }
    int sheetCount() const { return int(m_sheets.size()); }
    const SheetEntry &sheet(int index) const { return m_sheets[size_t(index)]; }
    // 0-based; the first sheet when the workbook names none or one that
    // does not exist.
    int activeSheet() const { return m_activeSheet; }

    // The sheet's part, parsed and with its bytes loaded (those of the sheet
    // used before are released); none for a sheet without cells, or with
    // the reason when the part cannot be read. A sheet worked on in windows
    // is read whole from here on, its replaces done again on the whole part.
    WorksheetPart *worksheet(int index, QString *error);

    // Replace over the cells of the areas, or over every cell (wholeSheet;
    // areas are then not needed). A large sheet replaced over every cell is
    // worked on a window of rows at a time (streamedsheet.h) where its
    // cells allow; the outcome and the saved file are the same.
    bool replace(int index, const QVector<CellArea> &areas, bool wholeSheet, const SearchPattern &pattern,
                 const QString &replacement, bool *changed, QString *error);
    // Sheet parts of at least this many inflated bytes are worked on in
    // windows of about windowBytes of rows (0: none). Set before the first
    // edit.
    void setStreamFrom(quint64 bytes, size_t windowBytes = DefaultWindowBytes)
    {
        m_streamFrom = bytes;
        m_windowBytes = windowBytes;
    }

    // Whether a search with the scan's pattern may find something in the
    // sheet: false only for a sheet not parsed yet whose bytes (and the
    // shared strings') rule a match out. Bytes read here serve the parse
    // that follows when they do not.
    bool sheetMayMatch(int index, const PartPrescan &scan);

    // The styles, read once; false with the reason when they cannot be.
    bool loadStyles(QString *error);
    const StylesPart &styles() const { return m_styles; }
    const SharedStrings *sharedStrings() const { return m_sharedStrings.get(); }

    // Whether plain text cells are edited from their bytes (on unless
    // turned off): off, every cell is read in full and shared strings only
    // ever get new entries. Set before the first edit.
    void setByteEdits(bool on) { m_context.byteEdits = on; }

    bool isChanged() const;
    // Does the replaces waiting on sheets worked on in windows; false with
    // the reason when one of them fails (as it would have, done at once).
    bool finishWork(QString *error);
    // Cells that Replace or Value set changed since the book was opened
    // (the waiting replaces done first; when that fails, reportChanges and
    // the save say why).
    quint64 changedCells();
    // Tells the sink those whose text changed, sheet by sheet in tab order
    // (reading again the bytes of a sheet that were released). Before a
    // save: what the shared strings held as read is what it tells.
    bool reportChanges(CellChangeSink *sink, QString *error);
    // Writes the changed parts; leaves the file alone when nothing changed.
    bool save(QString *error);
    // The same in two steps: the new file written, uncommitted (none when
    // nothing changed).
    bool prepareSave(std::unique_ptr<PendingSave> *pending, QString *error);

private:
    OoxmlBook() = default;
    bool load(QString *error);
    bool loadCellSupport(QString *error);
    bool writeWorkbookPart(ByteSink *sink, QString *error) const;
    bool writeWithout(const QString &partName, qint64 begin, qint64 end, ByteSink *sink, QString *error) const;
    bool needsCalcFlag() const;
    // Whether the shared strings may change in their place: every sheet
    // with cells parsed, each part once, and no revision log that names
    // entries too.
    bool mayFoldSharedStrings() const;
    bool streams(int index) const;
    // Does the replaces waiting on the sheets worked on in windows, but
    // for sheet `except`; a sheet whose pass fails is worked on whole.
    bool flushStreams(int except, QString *error);
    // Leaves working on the sheet in windows: the book goes back to what it
    // was before, and the replaces are done again on the whole part.
    WorksheetPart *takeWhole(int index, QString *error);

    std::unique_ptr<OpcPackage> m_package;
    BookContext m_context;
    QString m_workbookPart;
    QByteArray m_workbookXml;
    QByteArray m_workbookPrefix;
    std::vector<SheetEntry> m_sheets;
    int m_activeSheet = 0;
    int m_loadedSheet = -1;
    static constexpr qint64 KeptSheetBytes = qint64(16) << 20;
    qint64 m_keptSheetBytes = 0; // of changed sheets not loaded now (an upper bound)
    quint64 m_savedEdits = 0;

    quint64 m_streamFrom = DefaultStreamFrom;
    size_t m_windowBytes = DefaultWindowBytes;
    // The sheet worked on in windows last, and the book as it was before:
    // what leaving the windows goes back to, while no other sheet has been
    // worked on since.
    int m_streamedSheet = -1;
    BookContext m_beforeStream;
    SharedStrings::Mark m_beforeStreamStrings;
    QString m_streamError; // why the waiting replaces could not be done

    bool m_cellSupportLoaded = false;
    bool m_stylesLoaded = false;
    QString m_sharedStringsPart;
    QString m_stylesPart;
    std::unique_ptr<SharedStrings> m_sharedStrings;
    QByteArray m_sharedStringsBytes; // read for a prescan, not parsed yet
    QHash<QByteArray, bool> m_sharedStringsExcluded; // prescan results by needle
    int m_prefetchedSheet = -1;
    QByteArray m_prefetched; // that sheet's bytes, read for a prescan
    StylesPart m_styles;

    // Where workbook.xml gets full recalculation on load.
    qint64 m_calcPrBegin = -1, m_calcPrStartTagEnd = -1;
    bool m_calcPrSelfClosing = false;
    qint64 m_fullCalcBegin = -1, m_fullCalcEnd = -1; // value of fullCalcOnLoad
    qint64 m_calcPrInsertAt = -1;

    // The calculation chain and what refers to it.
    QString m_calcChainPart;
    QString m_workbookRelsPart;
    qint64 m_calcChainRelBegin = -1, m_calcChainRelEnd = -1;
    bool m_hasRevisions = false;
};

} // namespace Xlsx
} // namespace Excel

#pragma once

// A workbook package as the engine sees it: the workbook part found
// through the package relationships, its sheets in tab order with their
// kinds, the active tab, and, loaded when a sheet first needs them, the
// shared strings, the styles and the sheets' own parts. Saving writes only
// the parts that changed.

#include "xlsx/package/opcpackage.h"
#include "xlsx/cells/partprescan.h"
#include "xlsx/parts/sharedstrings.h"
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

    bool hasCells() const { return kind == SheetKind::Worksheet || kind == SheetKind::Macrosheet; }
};

class OoxmlBook
{
public:
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
    // the reason when the part cannot be read.
    WorksheetPart *worksheet(int index, QString *error);

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
    // Cells that Replace or Value set changed since the book was opened.
    quint64 changedCells() const { return m_context.changedCells; }
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

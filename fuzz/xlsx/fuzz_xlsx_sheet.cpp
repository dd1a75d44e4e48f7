// A worksheet part: parsed, searched, written to, spliced, and the result
// parsed again, which must always succeed; the byte path for plain cells
// must write what the full path writes, and a parse that reads plain cells
// from their bytes must read what the tokens say, errors included; the
// record of the changes must be the same on every path. And the byte pre-scan, which may
// rule a part out for a search only when the search changes nothing.
#include "cellchanges.h"
#include "xlsx/cells/partprescan.h"
#include "xlsx/parts/streamedsheet.h"
#include "xlsx/parts/worksheetpart.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

class Buffer : public Excel::Xlsx::ByteSink
{
public:
    bool write(const char *data, size_t length) override
    {
        bytes.append(data, int(length));
        return true;
    }
    using ByteSink::write;
    QByteArray bytes;
};

// The record of changes as one text.
class Record : public Excel::CellChangeSink
{
public:
    bool cellChanged(const QString &, int row, int column, const QString &before, const QString &after,
                     QString *) override
    {
        text += QStringLiteral("%1 %2 %3|%4\n").arg(row).arg(column).arg(before, after);
        return true;
    }
    QString text;
};

} // namespace

namespace {

// The edits of one run over the part; false when the part does not read
// or a change is refused (*why: the reason). byteEdits: whether plain cells
// take the byte path, which must write exactly what the full path writes;
// cellScan: whether the parse reads plain cells from their bytes; *record
// receives the record of the changes.
bool editPart(const QByteArray &bytes, bool byteEdits, bool cellScan, QByteArray *written, QString *record,
              QString *why)
{
    using namespace Excel;
    using namespace Excel::Xlsx;
    static const StylesPart styles;
    BookContext book;
    book.styles = &styles;
    book.sheetNames = QStringList{QStringLiteral("Sheet1"), QStringLiteral("Data")};
    book.byteEdits = byteEdits;
    book.cellScan = cellScan;
    const QString part = QStringLiteral("/xl/worksheets/sheet1.xml");
    WorksheetPart sheet(&book, part);
    QString &error = *why;
    if (!sheet.parseData(bytes, &error))
        return false;
    CellArea used{1, 1, 1, 1};
    sheet.usedArea(&used);
    // Positions come from Range(), which keeps them on the grid.
    const int row = qMin(used.lastRow, OoxmlGrid.rows - 1), column = qMin(used.lastColumn, OoxmlGrid.columns - 1);
    bool changed = false;
    const bool ok = sheet.replace({used}, SearchPattern(QStringLiteral("sum"), false, false), QStringLiteral("xlookup"), &changed, &error)
              && sheet.replace({used}, SearchPattern(QStringLiteral("a"), false, false), QStringLiteral("b&<"), &changed, &error)
              && sheet.replace({used}, SearchPattern(QStringLiteral("e"), false, true), QStringLiteral("\u00e9\r"), &changed, &error)
              && sheet.replace({used}, SearchPattern(QStringLiteral("1*"), false, true), QStringLiteral("=2"), &changed, &error)
              && sheet.replace({used}, SearchPattern(QStringLiteral("=?"), true, false), QStringLiteral(""), &changed, &error)
              && sheet.setValue({{2, 2, 3, 3}}, QStringLiteral("7"), &error)
              && sheet.setValue({{row, column + 1, row + 1, column + 1}},
                                QStringLiteral("=A1"), &error)
              && sheet.setValue({{1, 1, 1, 1}}, QString(), &error);
    if (!ok || !sheet.isChanged())
        return false;
    Record changes;
    if (!sheet.reportChanges(QStringLiteral("s"), &changes, &error))
        changes.text = QStringLiteral("failed: ") + error;
    *record = changes.text;
    Buffer out;
    if (!sheet.write(&out, &error))
        return false;
    WorksheetPart again(&book, part);
    if (!again.parseData(out.bytes, &error)) {
        std::fprintf(stderr, "spliced part does not read back: %s\n", qPrintable(error));
        std::abort();
    }
    *written = out.bytes;
    return true;
}

// The same replaces over the whole part and in windows of rows; aborts
// where the windows were accepted and the outcomes differ.
void compareWindows(const QByteArray &bytes, const Excel::Xlsx::StylesPart &styles, const QString &partName)
{
    using namespace Excel;
    using namespace Excel::Xlsx;
    BookContext wholeBook, windowBook;
    wholeBook.styles = windowBook.styles = &styles;
    WorksheetPart whole(&wholeBook, partName);
    StreamedSheet windows(&windowBook, partName, 200);
    windows.setBytes(bytes);
    QString error;
    if (!whole.parseData(bytes, &error))
        return;
    const QVector<CellArea> every{CellArea{1, 1, OoxmlGrid.rows, OoxmlGrid.columns}};
    const std::pair<const char *, const char *> pairs[] = {{"a", "xy"}, {"xy", "1"}, {"1", ""}};
    for (const auto &[what, with] : pairs) {
        const SearchPattern pattern(QString::fromUtf8(what), false, false);
        bool wholeChanged = false, windowChanged = false;
        QString wholeWhy, windowWhy;
        const bool wholeOk = whole.replace(every, pattern, QString::fromUtf8(with), &wholeChanged, &wholeWhy);
        if (!windows.replace(pattern, QString::fromUtf8(with), &windowChanged, &windowWhy))
            return; // worked on whole instead
        if (!wholeOk) {
            // Then the windows must fail too once their replaces are done.
            if (windows.flush(&error)) {
                std::fprintf(stderr, "windows of rows accept what the whole part refuses: %s\n", qPrintable(wholeWhy));
                std::abort();
            }
            return;
        }
        if (wholeChanged != windowChanged) {
            std::fprintf(stderr, "windows of rows answer otherwise\n");
            std::abort();
        }
    }
    if (!windows.flush(&error))
        return; // worked on whole instead
    if (wholeBook.changedCells != windowBook.changedCells) {
        std::fprintf(stderr, "windows of rows count otherwise\n");
        std::abort();
    }
    Buffer wholeOut, windowOut;
    Record wholeRecord, windowRecord;
    const bool wholeWritten = whole.write(&wholeOut, &error);
    if (wholeWritten != windows.write(&windowOut, SharedStringFold(), &error)
        || (wholeWritten && wholeOut.bytes != windowOut.bytes)) {
        std::fprintf(stderr, "windows of rows write otherwise\n");
        std::abort();
    }
    const bool wholeRecorded = whole.reportChanges(QStringLiteral("S"), &wholeRecord, &error);
    if (wholeRecorded != windows.reportChanges(QStringLiteral("S"), &windowRecord, &error)
        || wholeRecord.text != windowRecord.text) {
        std::fprintf(stderr, "windows of rows record otherwise\n");
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Excel;
    using namespace Excel::Xlsx;
    static const StylesPart styles;
    BookContext book;
    book.styles = &styles;
    const QString part = QStringLiteral("/xl/worksheets/sheet1.xml");
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    WorksheetPart sheet(&book, part);
    QString error;
    if (!sheet.parseData(bytes, &error))
        return 0;
    CellArea used{1, 1, 1, 1};
    sheet.usedArea(&used);
    const std::pair<QString, bool> unlikely[] = {
        {QStringLiteral("Q"), true}, {QStringLiteral("zq"), false}, {QStringLiteral("\u00e9?"), true},
        {QStringLiteral("+XLOOKUP("), false}}; // the bytes say "+_xlfn.XLOOKUP("
    for (const auto &what : unlikely) {
        const SearchPattern pattern(what.first, false, what.second);
        if (!PartPrescan(pattern).excludes(bytes.constData(), size, "worksheet"))
            continue;
        WorksheetPart fresh(&book, part);
        bool changed = false;
        if (fresh.parseData(bytes, &error) && fresh.replace({used}, pattern, QStringLiteral("y"), &changed, &error)
            && changed) {
            std::fprintf(stderr, "the pre-scan ruled out a part in which '%s' matches\n", qPrintable(what.first));
            std::abort();
        }
    }
    QByteArray fromBytes, full, tokens;
    QString byteWhy, fullWhy, tokenWhy, byteRecord, fullRecord, tokenRecord;
    const bool byteOk = editPart(bytes, true, true, &fromBytes, &byteRecord, &byteWhy),
               fullOk = editPart(bytes, false, true, &full, &fullRecord, &fullWhy),
               tokenOk = editPart(bytes, true, false, &tokens, &tokenRecord, &tokenWhy);
    if (byteOk != fullOk || fromBytes != full) {
        std::fprintf(stderr, "the byte path and the full path disagree\n");
        std::abort();
    }
    if (byteOk != tokenOk || fromBytes != tokens || byteWhy != tokenWhy) {
        std::fprintf(stderr, "reading cells from their bytes and from tokens disagree: %s | %s\n", qPrintable(byteWhy),
                     qPrintable(tokenWhy));
        std::abort();
    }
    compareWindows(bytes, styles, part);
    if (byteRecord != fullRecord || byteRecord != tokenRecord) {
        std::fprintf(stderr, "the paths record other changes:\n%s---\n%s---\n%s", qPrintable(byteRecord),
                     qPrintable(fullRecord), qPrintable(tokenRecord));
        std::abort();
    }
    return 0;
}

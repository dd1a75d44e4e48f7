// A whole file: opened as a workbook, every sheet searched and written to,
// saved, and the saved file opened again, which must succeed wherever the
// original's sheets could be read. And the same search with and without
// the byte path (with it, shared strings change in place where they can)
// must leave every cell with the same text; worked on in windows of rows
// or whole, it must give the same answers and save the same bytes.
#include "formats.h"
#include "xlsx/book/ooxmlbook.h"
#include "xlsx/book/ooxmlreader.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

// The input as a file of its own at path; false when it cannot be written.
bool writeInput(const QString &path, const uint8_t *data, size_t size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && f.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

// Replaces in every sheet of the file at path and saves it; false when it
// does not read or a change is refused. With the byte path the file is
// opened as a job opens it (its signature read first, a small file whole,
// from the same descriptor), without it by its name: the two must agree.
bool replaceEverywhere(const QString &path, bool byteEdits)
{
    using namespace Excel;
    QString error;
    OpenedFile opened;
    if (byteEdits && sniffFileSignature(path, &opened, &error) != FileSignature::Zip)
        return false;
    std::unique_ptr<Xlsx::OoxmlBook> book = Xlsx::OoxmlBook::open(path, &error, byteEdits ? &opened : nullptr);
    if (!book)
        return false;
    book->setByteEdits(byteEdits);
    for (int i = 0; i < book->sheetCount(); ++i) {
        Xlsx::WorksheetPart *sheet = book->worksheet(i, &error);
        CellArea used;
        if (!sheet || !sheet->usedArea(&used))
            continue;
        bool changed;
        if (!sheet->replace({used}, SearchPattern(QStringLiteral("a"), false, false), QStringLiteral("xy"), &changed, &error)
            || !sheet->replace({used}, SearchPattern(QStringLiteral("x*"), true, false), QStringLiteral("q"), &changed, &error))
            return false;
    }
    return book->save(&error);
}

// Every cell's text, sheet by sheet, where the sheets are small enough.
QStringList cellTexts(const QString &path)
{
    QString error;
    std::unique_ptr<Excel::OoxmlReader> reader = Excel::OoxmlReader::open(path, &error);
    QStringList texts;
    if (!reader)
        return {QStringLiteral("unreadable")};
    for (int s = 0; s < reader->sheetNames().size(); ++s) {
        Excel::CellArea a;
        if (!reader->usedRange(s, &a) || qint64(a.lastRow - a.firstRow + 1) * (a.lastColumn - a.firstColumn + 1) > 4096)
            continue;
        for (int r = a.firstRow; r <= a.lastRow; ++r)
            for (int c = a.firstColumn; c <= a.lastColumn; ++c)
                texts << reader->cellText(s, r, c);
    }
    return texts;
}

void compareByteEdits(const QString &dir, const uint8_t *data, size_t size)
{
    QStringList texts[2];
    for (int byteEdits = 0; byteEdits < 2; ++byteEdits) {
        const QString path = dir + QStringLiteral("/edit%1.xlsx").arg(byteEdits);
        if (!writeInput(path, data, size) || !replaceEverywhere(path, byteEdits))
            return;
        texts[byteEdits] = cellTexts(path);
    }
    if (texts[0] != texts[1]) {
        std::fprintf(stderr, "the byte path leaves other texts:\n%s\n%s\n", qPrintable(texts[0].join('|')),
                     qPrintable(texts[1].join('|')));
        std::abort();
    }
}

// The replaces over every sheet, in windows of a few hundred bytes or
// whole: the answers, the count and the saved file.
QByteArray replaceInWindows(const QString &path, bool windows)
{
    using namespace Excel;
    QString error;
    std::unique_ptr<Xlsx::OoxmlBook> book = Xlsx::OoxmlBook::open(path, &error);
    if (!book)
        return "open: " + error.toUtf8();
    book->setStreamFrom(windows ? 1 : 0, 256);
    // A replace in windows fails where the whole part's would only when
    // the waiting replaces are done, for the same reason: a failure is
    // told alone.
    QByteArray outcome;
    const std::pair<const char *, const char *> pairs[] = {{"a", "xy"}, {"xy", "1"}, {"1", ""}};
    for (int i = 0; i < book->sheetCount(); ++i) {
        for (const auto &[what, with] : pairs) {
            bool changed = false;
            if (!book->replace(i, {}, true, SearchPattern(QString::fromUtf8(what), false, false), QString::fromUtf8(with),
                               &changed, &error))
                return "failed: " + error.toUtf8();
            outcome += changed ? '1' : '0';
        }
    }
    if (!book->finishWork(&error))
        return "failed: " + error.toUtf8();
    outcome += ' ' + QByteArray::number(book->changedCells());
    if (!book->save(&error))
        return outcome + " save: " + error.toUtf8();
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        outcome += f.readAll();
    return outcome;
}

void compareWindows(const QString &dir, const uint8_t *data, size_t size)
{
    QByteArray outcome[2];
    for (int windows = 0; windows < 2; ++windows) {
        const QString path = dir + QStringLiteral("/windows%1.xlsx").arg(windows);
        if (!writeInput(path, data, size))
            return;
        outcome[windows] = replaceInWindows(path, windows);
    }
    if (outcome[0] != outcome[1]) {
        std::fprintf(stderr, "windows of rows give another outcome:\n%s\n%s\n", outcome[0].left(300).constData(),
                     outcome[1].left(300).constData());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Excel;
    static const QString dir = [] {
        const QString d = QStringLiteral("/dev/shm/korrin-fuzz-xlsx-%1").arg(::getpid());
        QDir().mkpath(d);
        return d;
    }();
    compareByteEdits(dir, data, size);
    compareWindows(dir, data, size);
    const QString path = dir + QStringLiteral("/book.xlsx");
    if (!writeInput(path, data, size))
        return 0;
    QString error;
    std::unique_ptr<Workbook> book = openOoxmlWorkbook(path, &error);
    if (!book)
        return 0;
    std::vector<bool> readable;
    Sheets *sheets = book->Sheets();
    for (int i = 1; i <= sheets->Count(); ++i) {
        Worksheet *ws = sheets->Item(i);
        std::unique_ptr<Range> used = ws->UsedRange();
        readable.push_back(bool(used));
        if (!used)
            continue;
        used->Replace(QStringLiteral("a"), QStringLiteral("xy"), xlPart, xlByRows, false);
        used->Replace(QStringLiteral("*1"), QStringLiteral("=1"), xlWhole, xlByRows, true);
        if (std::unique_ptr<Range> r = ws->Range(QStringLiteral("B2:C3, E9")))
            r->setValue(QStringLiteral("12"));
    }
    book->ActiveSheet();
    if (!book->Save())
        return 0;
    book.reset();
    std::unique_ptr<Workbook> again = openOoxmlWorkbook(path, &error);
    if (!again) {
        std::fprintf(stderr, "saved workbook does not open: %s\n", qPrintable(error));
        std::abort();
    }
    for (int i = 1; i <= again->Sheets()->Count() && i <= int(readable.size()); ++i) {
        if (readable[size_t(i - 1)] && !again->Sheets()->Item(i)->UsedRange()) {
            std::fprintf(stderr, "sheet %d of the saved workbook does not read: %s\n", i, qPrintable(again->lastError()));
            std::abort();
        }
    }
    return 0;
}

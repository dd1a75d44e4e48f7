// A whole file: opened as a workbook, every sheet searched and written to,
// saved, and the saved file opened again, which must succeed wherever the
// original's sheets could be read.
#include "formats.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Excel;
    static const QString dir = [] {
        const QString d = QStringLiteral("/dev/shm/korrin-fuzz-xlsx-%1").arg(::getpid());
        QDir().mkpath(d);
        return d;
    }();
    const QString path = dir + QStringLiteral("/book.xlsx");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
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

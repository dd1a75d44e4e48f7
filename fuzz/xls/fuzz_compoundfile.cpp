// Feeds a whole file to the compound-file checks and libgsf, then to the
// workbook reader; what it read is written and read again.

#include "xls/book/biffbook.h"
#include "xls/cfb/compoundfile.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

using namespace Excel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));
    Biff::Book book;
    QString error;
    if (!book.openFile(file, &error))
        return 0;
    QByteArray rewritten;
    Biff::WrittenFile written;
    if (!book.buildFile(&rewritten, &written, &error))
        std::abort(); // what was read must be writable again
    // and what was written must read again, as a save checks before it
    // replaces a file.
    Biff::Book again;
    if (!again.openFile(rewritten, &error) || !again.matches(written, &error) || again.sheetCount() != book.sheetCount())
        std::abort();
    return 0;
}

// A shared-strings part: read, every entry decoded (from its bytes too,
// where the byte path would), entries appended, the part written, and what
// was written read again.
#include "plaintextbytes.h"
#include "sharedstrings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Excel::Xlsx;
    const QString part = QStringLiteral("/xl/sharedStrings.xml");
    SharedStrings table;
    QString error;
    if (!table.parse(QByteArray(reinterpret_cast<const char *>(data), int(size)), part, Conformance::Transitional, &error))
        return 0;
    const quint32 n = qMin<quint32>(table.size(), 2000);
    RichText last;
    std::string decoded;
    for (quint32 i = 0; i < n; ++i) {
        QString text;
        const bool read = table.text(i, &text, &error);
        table.richText(i, &last, &error);
        // What the byte path reads of a plain entry is what the entry says.
        const char *raw;
        size_t rawSize;
        decoded.clear();
        if (read && table.plainRaw(i, &raw, &rawSize) && decodePlainCharacters(raw, rawSize, &decoded)
            && QString::fromUtf8(decoded.data(), int(decoded.size())) != text) {
            std::fprintf(stderr, "entry %u reads differently from its bytes\n", i);
            std::abort();
        }
    }
    table.appendPlain(QStringLiteral("new _x0041_ \r text"));
    if (!last.runs.isEmpty()) {
        last.runs[0].text += QStringLiteral(" <&> ");
        table.append(last);
    }
    table.countReference(1);
    Buffer out;
    if (!table.write(&out, &error))
        return 0;
    SharedStrings again;
    if (!again.parse(out.bytes, part, Conformance::Transitional, &error) || again.size() != table.size()) {
        std::fprintf(stderr, "written part does not read back: %s\n", qPrintable(error));
        std::abort();
    }
    return 0;
}

// A shared-strings part: read with plain entries taken from their bytes and
// read with every entry tokenized, which must agree; every entry decoded
// (from its bytes too, where the byte path would, and as the UTF-8 the
// record of changes takes from them), entries appended, the
// part written, and what was written read again.
#include "xlsx/xml/plaintextbytes.h"
#include "xlsx/parts/sharedstrings.h"
#include "utf8text.h"

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
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    SharedStrings table, tokenized;
    QString error, tokenError;
    const bool parsed = table.parse(bytes, part, Conformance::Transitional, &error);
    if (tokenized.parse(bytes, part, Conformance::Transitional, &tokenError, false) != parsed || tokenError != error
        || (parsed && tokenized.size() != table.size())) {
        std::fprintf(stderr, "reading entries from their bytes differs: %s / %s\n", qPrintable(error), qPrintable(tokenError));
        std::abort();
    }
    if (!parsed)
        return 0;
    const quint32 n = qMin<quint32>(table.size(), 2000);
    RichText last;
    std::string decoded;
    for (quint32 i = 0; i < n; ++i) {
        QString text, tokenText;
        const bool read = table.text(i, &text, &error);
        const char *raw, *tokenRaw;
        size_t rawSize, tokenRawSize;
        const bool plain = table.plainRaw(i, &raw, &rawSize);
        if (tokenized.text(i, &tokenText, &tokenError) != read || tokenText != text || table.isComplex(i) != tokenized.isComplex(i)
            || tokenized.plainRaw(i, &tokenRaw, &tokenRawSize) != plain || (plain && (raw - table.originalXml().constData() != tokenRaw - tokenized.originalXml().constData()
                          || rawSize != tokenRawSize))) {
            std::fprintf(stderr, "entry %u reads differently when tokenized\n", i);
            std::abort();
        }
        // Stored bytes taken as the entry's UTF-8 text are that text.
        std::string_view utf8;
        if (read && table.utf8Text(i, &utf8) && text.toUtf8() != QByteArray(utf8.data(), int(utf8.size()))) {
            std::fprintf(stderr, "entry %u is not its stored bytes\n", i);
            std::abort();
        }
        table.richText(i, &last, &error);
        // What the byte path reads of a plain entry is what the entry says.
        decoded.clear();
        if (read && table.plainRaw(i, &raw, &rawSize) && decodePlainCharacters(raw, rawSize, &decoded)
            && Excel::utf8Decode(decoded.data(), int(decoded.size())) != text) {
            std::fprintf(stderr, "entry %u reads differently from its bytes\n", i);
            std::abort();
        }
    }
    table.appendPlain(QStringLiteral("new _x0041_ \r text"));
    const QString added = QStringLiteral("added \u00e9\u4e00 text");
    std::string_view addedUtf8;
    if (!table.utf8Text(table.appendPlain(added), &addedUtf8) || added.toUtf8() != QByteArray(addedUtf8.data(), int(addedUtf8.size()))) {
        std::fprintf(stderr, "an added entry is not its stored bytes\n");
        std::abort();
    }
    // An added entry of ASCII taken from the input (spaces at its ends,
    // markup and '_' among them) reads back as its text, here and once
    // written.
    QString ascii, back;
    for (size_t k = 0; k < size && k < 24; ++k)
        ascii += QChar(0x20 + data[k] % 95);
    const quint32 asciiAt = table.appendPlain(ascii);
    if ((table.utf8Text(asciiAt, &addedUtf8) && ascii.toUtf8() != QByteArray(addedUtf8.data(), int(addedUtf8.size())))
        || !table.text(asciiAt, &back, &error) || back != ascii) {
        std::fprintf(stderr, "an added ASCII entry does not read as its text\n");
        std::abort();
    }
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
    if (!again.text(asciiAt, &back, &error) || back != ascii) {
        std::fprintf(stderr, "the added ASCII entry is not its text once written\n");
        std::abort();
    }
    return 0;
}

// The character-level checks of the tokenizer: the whole document as UTF-8
// with only the characters XML allows, and the entity and character
// references in text and attribute values.

#include "xlsx/xml/xmltokenizer.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Excel {
namespace Xlsx {

namespace {

// Whether a code point may appear in an XML 1.0 document.
inline bool isXmlChar(quint32 c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

int XmlTokenizer::decodeUtf8(const unsigned char *p, const unsigned char *end, quint32 *cp)
{
    const unsigned char c = *p;
    int len;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        *cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        *cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        *cp = c & 0x07;
    } else {
        return 0;
    }
    if (end - p < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        *cp = (*cp << 6) | (p[i] & 0x3F);
    }
    return len;
}

// Not in a longer form than it needs, no surrogate, none XML forbids.
bool XmlTokenizer::isAllowedCharacter(quint32 cp, int len)
{
    const quint32 minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    return cp >= minimum && !(cp >= 0xD800 && cp <= 0xDFFF) && isXmlChar(cp);
}

// One pass over the whole document before tokenizing: valid UTF-8 with no
// character that XML forbids. Printable ASCII goes sixteen bytes at a time
// where SSE2 is there, else eight.
bool XmlTokenizer::validateCharacters()
{
    const auto *p = reinterpret_cast<const unsigned char *>(m_data);
    const auto *end = p + m_size;
    const auto *start = p;
    while (p < end) {
#ifdef __SSE2__
        if (end - p >= 16) {
            // Signed, the bytes below 0x20 and those of 0x80 and above.
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20))));
            if (!mask) {
                p += 16;
                continue;
            }
            p += __builtin_ctz(mask);
        }
#else
        if (end - p >= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            // No byte with the high bit set and none below 0x20.
            const quint64 high = w & 0x8080808080808080ull;
            const quint64 low = (w - 0x2020202020202020ull) & ~w & 0x8080808080808080ull;
            if (!high && !low) {
                p += 8;
                continue;
            }
        }
#endif
        const unsigned char c = *p;
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                fail(QCoreApplication::translate("Xlsx", "control character 0x%1 is not allowed in XML").arg(c, 2, 16, QLatin1Char('0')), p - start);
                return false;
            }
            ++p;
            continue;
        }
        quint32 cp;
        const int len = decodeUtf8(p, end, &cp);
        if (len == 0) {
            fail(QCoreApplication::translate("Xlsx", "the part is not valid UTF-8"), p - start);
            return false;
        }
        if (!isAllowedCharacter(cp, len)) {
            fail(QCoreApplication::translate("Xlsx", "character U+%1 is not allowed in XML").arg(cp, 4, 16, QLatin1Char('0')), p - start);
            return false;
        }
        p += len;
    }
    return true;
}

// Only &lt; &gt; &amp; &quot; &apos; and character references exist here:
// with no DTD nothing else can be declared.
bool XmlTokenizer::checkReferences(const char *from, const char *to, qint64 base)
{
    const char *p = from;
    while ((p = static_cast<const char *>(std::memchr(p, '&', size_t(to - p))))) {
        const char *semi = static_cast<const char *>(std::memchr(p, ';', size_t(std::min<qint64>(to - p, 12))));
        const qint64 at = base + (p - from);
        if (!semi) {
            fail(QCoreApplication::translate("Xlsx", "stray '&' or unterminated reference"), at);
            return false;
        }
        const std::string_view ref(p + 1, size_t(semi - p - 1));
        if (ref == "lt" || ref == "gt" || ref == "amp" || ref == "quot" || ref == "apos") {
            p = semi + 1;
            continue;
        }
        if (ref.size() >= 2 && ref[0] == '#') {
            quint32 cp = 0;
            bool ok = true;
            const bool hex = ref[1] == 'x';
            const size_t start = hex ? 2 : 1;
            if (start >= ref.size())
                ok = false;
            for (size_t i = start; ok && i < ref.size(); ++i) {
                const char c = ref[i];
                int v;
                if (c >= '0' && c <= '9')
                    v = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    v = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    v = c - 'A' + 10;
                else {
                    ok = false;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + quint32(v);
                if (cp > 0x10FFFF)
                    ok = false;
            }
            if (ok && isXmlChar(cp)) {
                p = semi + 1;
                continue;
            }
            fail(QCoreApplication::translate("Xlsx", "character reference &%1; is not allowed").arg(QString::fromLatin1(ref.data(), int(ref.size()))), at);
            return false;
        }
        fail(QCoreApplication::translate("Xlsx", "undeclared entity &%1;").arg(QString::fromUtf8(ref.data(), int(ref.size()))), at);
        return false;
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel

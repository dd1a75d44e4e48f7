#include "partprescan.h"

#include "plaintextbytes.h"
#include "xmltokenizer.h"

#include "cellrules/cellvalue.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Excel {
namespace Xlsx {

namespace {

inline char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

// Characters a needle may hold: ones that always stand in the bytes as
// themselves. Not white space (indentation between runs is skipped), not
// what XML writes as an entity, not "=" (the formula text's own, not in
// the bytes). Without matching case, only ASCII, and not k or s, which the
// Kelvin sign and the long s fold to.
bool plainCharacter(uint c, bool matchCase)
{
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '&' || c == '<' || c == '>' || c == '"'
        || c == '\'' || c == '=' || c < 0x20)
        return false;
    if (matchCase)
        return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
    return c < 0x80 && c != 'k' && c != 's';
}

// Whether the byte at p, one of ! ? # P _, is where something starts that
// could hide a match.
bool unsureAt(const char *data, const char *p, const char *end, const char *declaration)
{
    switch (*p) {
    case '!': // a DTD, comment or CDATA section
        return p > data && p[-1] == '<';
    case '?': // a processing instruction, but for the declaration at the start
        return p > data && p[-1] == '<' && p - 1 != declaration;
    case '#': // a character reference
        return p > data && p[-1] == '&';
    case 'P': // a phonetic run
        return p > data && p[-1] == 'r' && end - p >= 2 && p[1] == 'h';
    case '_':
        return excelEscapeAt(p, end, true);
    default:
        return false;
    }
}

// Whether the bytes hold anything that could hide a match: a DTD, comment
// or CDATA section ("<!"), a processing instruction other than the XML
// declaration at the very start (after a BOM), a character reference, an
// _xHHHH_ escape, a phonetic run (rPh) or a shared formula ("shared").
// Each of those but the last holds a byte that is rare in a sheet, so the
// bytes are scanned for those alone, sixteen at a time where SSE2 is there.
bool hasUnsureBytes(const char *data, size_t size)
{
    if (::memmem(data, size, "shared", 6))
        return true;
    const size_t bom = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    const char *declaration = data + bom, *end = data + size, *p = data;
#ifdef __SSE2__
    const __m128i bang = _mm_set1_epi8('!'), question = _mm_set1_epi8('?'), hash = _mm_set1_epi8('#'),
                  capitalP = _mm_set1_epi8('P'), underscore = _mm_set1_epi8('_');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, bang), _mm_cmpeq_epi8(v, question)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, hash), _mm_cmpeq_epi8(v, capitalP))),
            _mm_cmpeq_epi8(v, underscore));
        for (unsigned mask = unsigned(_mm_movemask_epi8(hits)); mask; mask &= mask - 1)
            if (unsureAt(data, p + __builtin_ctz(mask), end, declaration))
                return true;
    }
#endif
    for (; p < end; ++p)
        if (unsureAt(data, p, end, declaration))
            return true;
    return false;
}

} // namespace

PartPrescan::PartPrescan(const SearchPattern &pattern)
{
    // Numbers and booleans are searched by a text the bytes do not hold.
    if (pattern.canMatchWithin(formulaBarNumberAlphabet()) || pattern.canMatchWithin(booleanTextAlphabet()))
        return;
    const bool matchCase = pattern.matchCase();
    m_foldAscii = !matchCase;
    for (const QVector<uint> &run : pattern.literalRuns()) {
        QByteArray piece;
        auto take = [&] {
            if (piece.size() > m_needle.size())
                m_needle = piece;
            piece.clear();
        };
        for (uint c : run) {
            if (!plainCharacter(c, matchCase)) {
                take();
                continue;
            }
            if (c < 0x80) {
                piece += matchCase ? char(c) : lowerAscii(char(c));
            } else {
                const char32_t u = char32_t(c);
                piece += QString::fromUcs4(&u, 1).toUtf8();
            }
        }
        take();
    }
}

// Whether the needle starts at p, markup between its characters skipped
// (with white space after it): text split over runs is found as one.
bool PartPrescan::matchAt(const char *p, const char *end) const
{
    const char *n = m_needle.constData(), *nEnd = n + m_needle.size();
    while (n < nEnd) {
        if (p >= end)
            return false;
        if (*p == '<') {
            ++p;
            while (p < end && *p != '>') {
                if (*p == '"' || *p == '\'') {
                    const char q = *p++;
                    while (p < end && *p != q)
                        ++p;
                }
                if (p < end)
                    ++p;
            }
            if (p < end)
                ++p;
            while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
                ++p;
            continue;
        }
        if ((m_foldAscii ? lowerAscii(*p) : *p) != *n)
            return false;
        ++p;
        ++n;
    }
    return true;
}

bool PartPrescan::mayHold(const char *data, size_t size) const
{
    if (!usable() || std::memchr(data, '&', size) || std::memchr(data, '_', size) || std::memchr(data, '<', size))
        return true;
    const char first = m_needle.at(0);
    const bool letter = m_foldAscii && first >= 'a' && first <= 'z';
    const char *end = data + size;
    for (const char *p = data; p < end; ++p) {
        const char c = letter ? lowerAscii(*p) : *p;
        if (c == first && matchAt(p, end))
            return true;
    }
    return false;
}

bool PartPrescan::excludes(const char *data, size_t size, const char *rootName) const
{
    if (!usable() || size == 0)
        return false;
    // What could hide a match or make the part unreadable: then it is read.
    if (hasUnsureBytes(data, size))
        return false;
    // A part cut short, or with bytes XML forbids, fails when it is read.
    size_t last = size;
    while (last > 0 && (data[last - 1] == ' ' || data[last - 1] == '\n' || data[last - 1] == '\r' || data[last - 1] == '\t'))
        --last;
    const size_t rootLength = std::strlen(rootName);
    if (last < rootLength + 3 || data[last - 1] != '>' || std::memcmp(data + last - 1 - rootLength, rootName, rootLength) != 0
        || (data[last - 2 - rootLength] != '/' && data[last - 2 - rootLength] != ':'))
        return false;
    if (!XmlTokenizer::hasValidCharacters(data, qint64(size)))
        return false;

    const char first = m_needle.at(0);
    const char *end = data + size;
    if (m_foldAscii && first >= 'a' && first <= 'z') {
        const char upper = char(first - 32);
        for (const char *p = data; p < end; ++p)
            if ((*p == first || *p == upper) && matchAt(p, end))
                return false;
        return true;
    }
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, first, size_t(end - p)))); ++p)
        if (matchAt(p, end))
            return false;
    return true;
}

} // namespace Xlsx
} // namespace Excel

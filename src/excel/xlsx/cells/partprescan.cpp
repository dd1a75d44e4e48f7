#include "xlsx/cells/partprescan.h"

#include "xlsx/xml/plaintextbytes.h"
#include "xlsx/xml/xmltokenizer.h"

#include "cellrules/cellvalue.h"

#include <cstring>
#include <string_view>

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

// Whether the text [n, nEnd) starts at p, markup between its characters
// skipped (with white space after it): text split over runs is found as one.
// A '<' within the markup skipped (which XML forbids there) answers yes: the
// reader judges such bytes, and the search from each start stays within its
// own markup rather than running on through the rest of the part.
bool startsSkippingMarkup(const char *p, const char *end, const char *n, const char *nEnd, bool foldAscii)
{
    while (n < nEnd) {
        if (p >= end)
            return false;
        if (*p == '<') {
            ++p;
            while (p < end && *p != '>') {
                if (*p == '<')
                    return true;
                if (*p == '"' || *p == '\'') {
                    const char q = *p++;
                    while (p < end && *p != q) {
                        if (*p == '<')
                            return true;
                        ++p;
                    }
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
        if ((foldAscii ? lowerAscii(*p) : *p) != *n)
            return false;
        ++p;
        ++n;
    }
    return true;
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

bool PartPrescan::matchAt(const char *p, const char *end) const
{
    return startsSkippingMarkup(p, end, m_needle.constData(), m_needle.constData() + m_needle.size(), m_foldAscii);
}

bool PartPrescan::mayHold(const char *data, size_t size) const
{
    if (!usable())
        return true;
    const char first = m_needle.at(0);
    const bool letter = m_foldAscii && first >= 'a' && first <= 'z';
    const char *end = data + size;
    if (size <= 64) {
        // A cell's text, mostly: one pass looks for both. Where it holds no
        // '<', matchAt compares plainly, as below.
        bool found = false;
        for (const char *p = data; p < end; ++p) {
            const char c = *p;
            if (c == '&' || c == '_' || c == '<')
                return true;
            if (!found && (letter ? lowerAscii(c) : c) == first && matchAt(p, end))
                found = true;
        }
        return found;
    }
    if (std::memchr(data, '&', size) || std::memchr(data, '_', size) || std::memchr(data, '<', size))
        return true;
    for (const char *p = data; p < end; ++p) {
        const char c = letter ? lowerAscii(*p) : *p;
        if (c == first && matchAt(p, end))
            return true;
    }
    return false;
}

// One byte of a part, found by the pass in excludes(): whether it decides
// that the part must be read. It does when something starts here that could
// hide a match (see unsureAt) or a shared formula, when the byte or the
// character it starts is one XML forbids (the part then fails when read),
// or when the needle starts here. Bytes before validTo were checked as part
// of a character that started earlier.
bool PartPrescan::decidesAt(const char *data, const char *p, const char *end, const char *declaration,
                            const char **validTo) const
{
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20)
        return c != '\t' && c != '\n' && c != '\r';
    if (c >= 0x80 && p >= *validTo) {
        const int len = XmlTokenizer::allowedCharacterLength(p, end);
        if (len == 0)
            return true;
        *validTo = p + len;
    }
    if (unsureAt(data, p, end, declaration))
        return true;
    if (c == 's' && end - p >= 6 && std::memcmp(p, "shared", 6) == 0)
        return true;
    const char n = m_needle.at(0);
    return (m_foldAscii ? lowerAscii(*p) : *p) == n && matchAt(p, end);
}

#ifdef __SSE2__
// The bytes from *p, sixteen at a time, while seventeen are left: true when
// one decides. Fold0 and Fold1: the needle's first and second characters
// are letters matched in either case; Two: it has a second character.
template<bool Fold0, bool Two, bool Fold1>
bool PartPrescan::scanBlocks(const char *data, const char **at, const char *end, const char *declaration,
                             const char **validTo) const
{
    const __m128i bang = _mm_set1_epi8('!'), question = _mm_set1_epi8('?'), hash = _mm_set1_epi8('#'),
                  capitalP = _mm_set1_epi8('P'), underscore = _mm_set1_epi8('_'), space = _mm_set1_epi8(' '),
                  smallS = _mm_set1_epi8('s'), smallH = _mm_set1_epi8('h'), less = _mm_set1_epi8('<'),
                  caseBit = _mm_set1_epi8(0x20), first = _mm_set1_epi8(m_needle.at(0)),
                  second = _mm_set1_epi8(Two ? m_needle.at(1) : 0);
    const char *p = *at;
    for (; end - p > 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
        const __m128i rare = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, bang), _mm_cmpeq_epi8(v, question)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, hash), _mm_cmpeq_epi8(v, capitalP))),
            _mm_or_si128(_mm_cmpeq_epi8(v, underscore), _mm_cmplt_epi8(v, space))); // signed: not ASCII too
        const __m128i shared = _mm_and_si128(_mm_cmpeq_epi8(v, smallS), _mm_cmpeq_epi8(w, smallH));
        __m128i start = _mm_cmpeq_epi8(Fold0 ? _mm_or_si128(v, caseBit) : v, first);
        if (Two)
            start = _mm_and_si128(start, _mm_or_si128(_mm_cmpeq_epi8(Fold1 ? _mm_or_si128(w, caseBit) : w, second),
                                                      _mm_cmpeq_epi8(w, less)));
        const __m128i hits = _mm_or_si128(_mm_or_si128(rare, shared), start);
        for (unsigned mask = unsigned(_mm_movemask_epi8(hits)); mask; mask &= mask - 1)
            if (decidesAt(data, p + __builtin_ctz(mask), end, declaration, validTo))
                return true;
    }
    *at = p;
    return false;
}
#endif

bool PartPrescan::excludes(const char *data, size_t size, const char *rootName) const
{
    if (!usable() || size == 0)
        return false;
    // A part cut short fails when it is read.
    size_t last = size;
    while (last > 0 && (data[last - 1] == ' ' || data[last - 1] == '\n' || data[last - 1] == '\r' || data[last - 1] == '\t'))
        --last;
    const size_t rootLength = std::strlen(rootName);
    if (last < rootLength + 3 || data[last - 1] != '>' || std::memcmp(data + last - 1 - rootLength, rootName, rootLength) != 0
        || (data[last - 2 - rootLength] != '/' && data[last - 2 - rootLength] != ':'))
        return false;

    // One pass over the bytes looks at the few that could decide: the rare
    // ones unsureAt() knows, "sh", control characters and all that is not
    // ASCII (validated as UTF-8 on the way), and where the needle's first
    // byte is followed by its second or by markup. The rest, most of a
    // sheet, goes sixteen bytes at a time where SSE2 is there.
    const size_t bom = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    const char *declaration = data + bom, *end = data + size, *p = data, *validTo = data;
#ifdef __SSE2__
    const bool fold0 = m_foldAscii && m_needle.at(0) >= 'a' && m_needle.at(0) <= 'z';
    const bool two = m_needle.size() >= 2;
    const bool fold1 = two && m_foldAscii && m_needle.at(1) >= 'a' && m_needle.at(1) <= 'z';
    const bool decided = !two ? (fold0 ? scanBlocks<true, false, false>(data, &p, end, declaration, &validTo)
                                       : scanBlocks<false, false, false>(data, &p, end, declaration, &validTo))
        : fold0 ? (fold1 ? scanBlocks<true, true, true>(data, &p, end, declaration, &validTo)
                         : scanBlocks<true, true, false>(data, &p, end, declaration, &validTo))
                : (fold1 ? scanBlocks<false, true, true>(data, &p, end, declaration, &validTo)
                         : scanBlocks<false, true, false>(data, &p, end, declaration, &validTo));
    if (decided)
        return false;
#endif
    for (; p < end; ++p)
        if (decidesAt(data, p, end, declaration, &validTo))
            return false;
    // A formula whose newer functions carry the prefix "_xlfn." is searched
    // without it: its text may hold the needle where the bytes do not. The
    // prefix too may be split by markup, whose text the reader joins.
    static constexpr char Prefix[] = "_xlfn.";
    for (const char *u = data; (u = static_cast<const char *>(std::memchr(u, '_', size_t(end - u)))); ++u)
        if (startsSkippingMarkup(u, end, Prefix, Prefix + sizeof Prefix - 1, false))
            return false;
    return true;
}

} // namespace Xlsx
} // namespace Excel

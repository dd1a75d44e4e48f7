#pragma once

// The next of a few bytes in a run of XML: where a text or an attribute value
// ends, or needs a closer look. Sixteen bytes at a time where SSE2 is there.

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Excel {
namespace Xlsx {

namespace detail {

template<typename Is>
inline const char *findByte(const char *p, const char *end, Is is)
{
    while (p < end && !is(*p))
        ++p;
    return p;
}

} // namespace detail

// The first of a or b in [p, end), or end.
inline const char *findEitherOf(const char *p, const char *end, char a, char b)
{
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
        if (mask)
            return p + __builtin_ctz(mask);
    }
#endif
    return detail::findByte(p, end, [a, b](char c) { return c == a || c == b; });
}

// The first of a, b or c in [p, end), or end.
inline const char *findAnyOf(const char *p, const char *end, char a, char b, char c)
{
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
        const unsigned mask = unsigned(_mm_movemask_epi8(hit));
        if (mask)
            return p + __builtin_ctz(mask);
    }
#endif
    return detail::findByte(p, end, [a, b, c](char x) { return x == a || x == b || x == c; });
}

} // namespace Xlsx
} // namespace Excel

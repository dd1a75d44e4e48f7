#pragma once

// The next of a few bytes in a run of XML: where a text or an attribute value
// ends, or needs a closer look. Sixteen bytes at a time where SSE2 is there.

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Excel {
namespace Xlsx {

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
    while (p < end && *p != a && *p != b && *p != c)
        ++p;
    return p;
}

// The first of a or b in [p, end), or end.
inline const char *findEitherOf(const char *p, const char *end, char a, char b)
{
    return findAnyOf(p, end, a, b, b);
}

} // namespace Xlsx
} // namespace Excel

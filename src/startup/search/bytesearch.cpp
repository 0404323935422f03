#include "bytesearch.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnel::search
{

const unsigned char *findBytes(const unsigned char *hay, std::size_t n, const unsigned char *needle,
                               std::size_t m)
{
    if (m == 0)
        return hay;
    if (m > n)
        return nullptr;
    if (m == 1)
        return static_cast<const unsigned char *>(std::memchr(hay, needle[0], n));
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(char(needle[0]));
    const __m128i last = _mm_set1_epi8(char(needle[m - 1]));
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i + m - 1));
        unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const unsigned bit = unsigned(__builtin_ctz(mask));
            if (std::memcmp(hay + i + bit + 1, needle + 1, m - 2) == 0)
                return hay + i + bit;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (hay[i] == needle[0] && hay[i + m - 1] == needle[m - 1] &&
            std::memcmp(hay + i + 1, needle + 1, m - 2) == 0)
            return hay + i;
    }
    return nullptr;
}

} // namespace varnel::search

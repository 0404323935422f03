#include "store/search/bytesearch.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace varnel::search
{

namespace
{

using Scan = const unsigned char *(*)(const unsigned char *hay, std::size_t n,
                                      const std::string &needle, std::size_t a, std::size_t b);

inline bool restMatches(const unsigned char *at, const std::string &needle)
{
    return std::memcmp(at, needle.data(), needle.size()) == 0;
}

const unsigned char *scanPlain(const unsigned char *hay, std::size_t n, const std::string &needle,
                               std::size_t a, std::size_t b)
{
    const std::size_t m = needle.size();
    const auto ca = static_cast<unsigned char>(needle[a]);
    const auto cb = static_cast<unsigned char>(needle[b]);
    for (std::size_t i = 0; i + m <= n; ++i) {
        if (hay[i + a] == ca && hay[i + b] == cb && restMatches(hay + i, needle))
            return hay + i;
    }
    return nullptr;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) const unsigned char *scanAvx2(const unsigned char *hay,
                                                              std::size_t n,
                                                              const std::string &needle,
                                                              std::size_t a, std::size_t b)
{
    const std::size_t m = needle.size();
    const __m256i va = _mm256_set1_epi8(needle[a]);
    const __m256i vb = _mm256_set1_epi8(needle[b]);
    std::size_t i = 0;
    for (; i + m + 32 <= n + 1; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(hay + i + a));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(hay + i + b));
        auto mask = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(x, va), _mm256_cmpeq_epi8(y, vb))));
        while (mask) {
            const unsigned bit = unsigned(__builtin_ctz(mask));
            if (restMatches(hay + i + bit, needle))
                return hay + i + bit;
            mask &= mask - 1;
        }
    }
    const unsigned char *rest = scanPlain(hay + i, n - i, needle, a, b);
    return rest;
}

__attribute__((target("sse2"))) const unsigned char *scanSse2(const unsigned char *hay,
                                                              std::size_t n,
                                                              const std::string &needle,
                                                              std::size_t a, std::size_t b)
{
    const std::size_t m = needle.size();
    const __m128i va = _mm_set1_epi8(needle[a]);
    const __m128i vb = _mm_set1_epi8(needle[b]);
    std::size_t i = 0;
    for (; i + m + 16 <= n + 1; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i + a));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i + b));
        auto mask = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(y, vb))));
        while (mask) {
            const unsigned bit = unsigned(__builtin_ctz(mask));
            if (restMatches(hay + i + bit, needle))
                return hay + i + bit;
            mask &= mask - 1;
        }
    }
    return scanPlain(hay + i, n - i, needle, a, b);
}

Scan bestScan()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? scanAvx2 : scanSse2;
}
#else
Scan bestScan()
{
    return scanPlain;
}
#endif

} // namespace

ByteFinder::ByteFinder(std::string_view needle) : needle_(needle)
{
    if (needle_.size() < 2)
        return;
    b_ = needle_.size() - 1;
    // A lead byte (0xC0 and up) is shared by many characters; the byte after it is not.
    a_ = static_cast<unsigned char>(needle_[0]) >= 0xC0 && b_ > 1 ? 1 : 0;
}

const unsigned char *ByteFinder::find(const unsigned char *hay, std::size_t n) const
{
    const std::size_t m = needle_.size();
    if (m == 0)
        return hay;
    if (m > n)
        return nullptr;
    if (m == 1)
        return static_cast<const unsigned char *>(std::memchr(hay, needle_[0], n));
    static const Scan scan = bestScan();
    return scan(hay, n, needle_, a_, b_);
}

} // namespace varnel::search

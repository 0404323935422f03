#include "store/search/pairfilter.h"

#include "store/search/charcodes.h"
#include "store/search/posting.h"

#include <algorithm>
#include <bit>

namespace varnel::search
{

namespace
{

// The largest table: a very long note fills it and is then simply read.
constexpr std::size_t kMostWords = 1024;

// The bits set in a table of 2 * half words once halved.
std::size_t foldedOnes(const std::uint64_t *words, std::size_t half)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < half; ++i)
        count += bits::ones(words[i] | words[half + i]);
    return count;
}

} // namespace

void PairFilter::build(const std::string &encoded, std::uint64_t seed)
{
    std::vector<std::uint32_t> keys;
    const auto *p = reinterpret_cast<const unsigned char *>(encoded.data());
    for (const auto *end = p + encoded.size(); p < end;) {
        keys.push_back(*p ? CharCodes::keyAt(p) : CharCodes::kNone);
        p += *p ? CharCodes::length(*p) : 1;
    }
    build(keys, encoded.size(), seed);
}

void PairFilter::build(std::span<const std::uint32_t> keys, std::size_t encodedBytes,
                       std::uint64_t seed)
{
    seed_ = seed;
    // Every pair goes into a roomy table first (bit positions are the hash's
    // low bits, so halving the table folds its upper half onto the lower);
    // it is then halved while it stays at most half full.
    std::size_t words = std::bit_ceil(std::max<std::size_t>(1, encodedBytes / 4));
    // A table of four bits a pair is at most half full, so the halving would
    // come down to it anyway: starting there gives the same filter sooner.
    words = std::min(words, std::bit_ceil(std::max<std::size_t>(1, (keys.size() * 4 + 63) / 64)));
    words = std::min(words, kMostWords);
    thread_local std::vector<std::uint64_t> table;
    table.assign(words, 0);
    // Locals: a store to the table could otherwise be the seed for all the
    // compiler knows, and it would read the seed again for every pair.
    std::uint64_t *const into = table.data();
    const std::uint64_t seed_local = mix(seed), mask = words * 64 - 1;
    std::uint32_t previous = CharCodes::kNone;
    bool any = false;
    for (const std::uint32_t key : keys) {
        if (previous != CharCodes::kNone && key != CharCodes::kNone) {
            const std::uint64_t h = hash(previous, key, seed_local);
            const std::uint64_t one = h & mask, two = (h >> 32) & mask;
            into[one / 64] |= std::uint64_t(1) << (one % 64);
            into[two / 64] |= std::uint64_t(1) << (two % 64);
            any = true;
        }
        previous = key;
    }
    if (!any) {
        bits_.clear();
        bits_.shrink_to_fit();
        return;
    }
    while (words > 1) {
        const std::size_t half = words / 2;
        if (foldedOnes(table.data(), half) * 2 > half * 64)
            break;
        for (std::size_t i = 0; i < half; ++i)
            table[i] |= table[half + i];
        words = half;
    }
    bits_.assign(table.begin(), table.begin() + std::ptrdiff_t(words));
}

} // namespace varnel::search

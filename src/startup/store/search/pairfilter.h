#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Which pairs of neighbouring characters one note holds, as a small Bloom
// filter of its own: two bits per pair in a table sized to the note (at most
// half full). It never misses a pair the note holds, and wrongly claims one
// in about a tenth of the notes, so a search for two or more characters reads
// the text of few notes that do not hold it. Each note hashes with a seed of
// its own: otherwise pairs found in almost every note would set the same bits
// everywhere, and a pair sharing those bits would pass almost every filter.
namespace varnel::search
{

class PairFilter
{
  public:
    // The filter of every pair in an encoded text (fields separated by NUL;
    // no pair spans two fields).
    void build(const std::string &encoded, std::uint64_t seed);
    // The same from the text's character keys, kNone between fields, and the
    // length of its encoding.
    void build(std::span<const std::uint32_t> keys, std::size_t encodedBytes, std::uint64_t seed);
    // False when the text holds no pair (a, b) of character keys.
    bool mayHold(std::uint32_t a, std::uint32_t b) const { return mayHold(bits_, seed_, a, b); }
    // The same for a filter kept elsewhere as its words, built with `seed`.
    static bool mayHold(std::span<const std::uint64_t> words, std::uint64_t seed, std::uint32_t a,
                        std::uint32_t b)
    {
        if (words.empty())
            return false;
        const std::uint64_t h = hash(a, b, mix(seed));
        const std::uint64_t mask = words.size() * 64 - 1;
        const std::uint64_t one = h & mask, two = (h >> 32) & mask;
        return (words[one / 64] >> (one % 64) & 1) && (words[two / 64] >> (two % 64) & 1);
    }
    // The filter's words (a power of two of them, or none).
    std::span<const std::uint64_t> words() const { return bits_; }
    std::size_t bytes() const { return bits_.capacity() * 8; }

  private:
    static std::uint64_t mix(std::uint64_t seed) { return seed * 0x9E3779B97F4A7C15ULL; }
    // Both bits come from one 64-bit hash: a multiply carries every bit of
    // the pair and the seed into the high half, and the shift brings them to
    // the low half (a filter's bit positions are at most 16 bits of each).
    // A fifth cheaper than two rounds of mixing, as few false claims.
    static std::uint64_t hash(std::uint32_t a, std::uint32_t b, std::uint64_t seed)
    {
        const std::uint64_t x = ((std::uint64_t(a) << 32 | b) ^ seed) * 0x9E3779B97F4A7C15ULL;
        return x ^ (x >> 32);
    }

    std::vector<std::uint64_t> bits_; // a power of two of words, or none
    std::uint64_t seed_ = 0;
};

} // namespace varnel::search

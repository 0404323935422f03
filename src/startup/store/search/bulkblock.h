#pragma once

#include "store/search/posting.h"

#include <cstdint>
#include <span>
#include <vector>

namespace varnel::search
{

// Pairs of ASCII characters (letters folded) have exact sets of their own:
// words and numbers are typed a letter at a time.
constexpr std::uint32_t kAsciiPairs = 128 * 128;

// The set of the pair (a, b), or -1 when either is not ASCII.
inline int asciiPair(std::uint32_t a, std::uint32_t b)
{
    return a < 0x80 && b < 0x80 ? int(a * 128 + b) : -1;
}

// The characters and ASCII pairs of the new notes of one block of 64 slots,
// gathered before they are written to the sets: a word per set per block.
class BulkBlock
{
  public:
    // `lastId`: the highest bookid to come, 0 when unknown.
    BulkBlock(std::uint32_t slot, std::int64_t lastId) : index_(slot / 64), lastId_(lastId) {}

    std::int64_t lastId() const { return lastId_; }
    bool holds(std::uint32_t slot) const { return slot / 64 == index_; }
    // Gathers a new note's keys (kNone between its fields); all below `keyLimit`.
    void add(std::uint32_t slot, std::span<const std::uint32_t> keys, std::uint32_t keyLimit);
    // Writes the block to the sets (by character key, by asciiPair()), each
    // given room for `room` slots, and moves on to the block of `nextSlot`.
    void writeTo(std::vector<Posting> &chars, std::vector<Posting> &pairs, std::uint32_t slotCount,
                 std::uint32_t room, std::uint32_t nextSlot);

  private:
    std::uint32_t index_;
    std::int64_t lastId_;
    std::vector<std::uint64_t> chars_; // by key
    std::vector<std::uint64_t> pairs_ = std::vector<std::uint64_t>(kAsciiPairs, 0);
    std::vector<std::uint32_t> touchedChars_, touchedPairs_;
};

} // namespace varnel::search

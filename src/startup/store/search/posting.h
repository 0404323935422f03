#pragma once

#include <cstdint>
#include <vector>

// The notes (by slot number) that hold one character or one hashed pair of
// characters: a sorted list while few notes do, a bit set once many do. A bit
// set may be shorter than the slots: missing words are zero.
namespace varnel::search
{

class Posting
{
  public:
    // Adds the slots of one 64-slot block at once; blocks arrive in
    // ascending order and after every slot added before. `room` is how many
    // slots the set will likely span in the end: a bit set takes that room
    // at once instead of growing (and leaving freed copies behind).
    void addBlock(std::uint32_t block, std::uint64_t word, std::uint32_t slotCount,
                  std::uint32_t room = 0);
    void add(std::uint32_t slot, std::uint32_t slotCount);
    void remove(std::uint32_t slot);
    // Gives back the room of a bit set that turned out far larger than it
    // needs (the room expected was too much).
    void trimRoom();
    // Every slot from `at` on moves up by one; `at` itself is then empty.
    void insertSlot(std::uint32_t at);

    bool has(std::uint32_t slot) const;
    std::size_t count() const { return count_; }
    bool dense() const { return !bits_.empty(); }
    const std::vector<std::uint64_t> &bits() const { return bits_; }
    const std::vector<std::uint32_t> &list() const { return list_; }
    std::size_t bytes() const { return bits_.capacity() * 8 + list_.capacity() * 4; }

  private:
    void becomeDense(std::uint32_t slotCount, std::uint32_t room);

    std::vector<std::uint32_t> list_;
    std::vector<std::uint64_t> bits_;
    std::size_t count_ = 0;
};

// Bit sets over slots, a word per 64 slots.
namespace bits
{
// The bits set in a word, without the library call the compiler makes of
// a popcount for CPUs that lack the instruction.
inline unsigned ones(std::uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555ULL;
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return unsigned((x * 0x0101010101010101ULL) >> 56);
}
inline bool test(const std::vector<std::uint64_t> &set, std::uint32_t slot)
{
    return slot / 64 < set.size() && (set[slot / 64] >> (slot % 64)) & 1;
}
inline void set(std::vector<std::uint64_t> &set, std::uint32_t slot)
{
    if (slot / 64 >= set.size())
        set.resize(slot / 64 + 1, 0);
    set[slot / 64] |= std::uint64_t(1) << (slot % 64);
}
inline void clear(std::vector<std::uint64_t> &set, std::uint32_t slot)
{
    if (slot / 64 < set.size())
        set[slot / 64] &= ~(std::uint64_t(1) << (slot % 64));
}
// Moves every bit from `at` on up by one, leaving bit `at` clear.
void insertZero(std::vector<std::uint64_t> &set, std::uint32_t at);
std::size_t count(const std::vector<std::uint64_t> &set);
} // namespace bits

} // namespace varnel::search

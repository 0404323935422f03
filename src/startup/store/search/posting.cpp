#include "store/search/posting.h"

#include <algorithm>

namespace varnel::search
{

namespace bits
{

void insertZero(std::vector<std::uint64_t> &set, std::uint32_t at)
{
    const std::size_t first = at / 64;
    if (first >= set.size())
        return;
    if (set.back() >> 63)
        set.push_back(0);
    for (std::size_t w = set.size() - 1; w > first; --w)
        set[w] = set[w] << 1 | set[w - 1] >> 63;
    const std::uint64_t low = (std::uint64_t(1) << (at % 64)) - 1;
    set[first] = (set[first] & low) | ((set[first] & ~low) << 1);
}

std::size_t count(const std::vector<std::uint64_t> &set)
{
    std::size_t n = 0;
    for (const std::uint64_t word : set)
        n += std::size_t(bits::ones(word));
    return n;
}

} // namespace bits

namespace
{

// Grows a set or a list by a quarter (or to `room`, what it is expected to
// need in the end, when that is more), to exactly that: a vector left to grow
// by itself doubles its room, and thousands of sets would hold twice the
// memory they use.
template <typename T> void makeRoom(std::vector<T> &v, std::size_t size, std::size_t room = 0)
{
    if (size > v.capacity())
        v.reserve(std::max({size, room, v.capacity() + v.capacity() / 4 + 4}));
}

std::size_t wordsFor(std::uint32_t slotCount)
{
    return (std::size_t(slotCount) + 63) / 64;
}

} // namespace

// A list costs 32 bits a note, a set one bit a slot.
void Posting::becomeDense(std::uint32_t slotCount, std::uint32_t room)
{
    if (list_.size() <= 64 || list_.size() * 32 <= slotCount)
        return;
    const std::size_t words = wordsFor(std::max(slotCount, list_.back() + 1));
    bits_.reserve(std::max(words, wordsFor(room)));
    bits_.assign(words, 0);
    for (const std::uint32_t s : list_)
        bits_[s / 64] |= std::uint64_t(1) << (s % 64);
    list_.clear();
    list_.shrink_to_fit();
}

void Posting::addBlock(std::uint32_t block, std::uint64_t word, std::uint32_t slotCount,
                       std::uint32_t room)
{
    count_ += std::size_t(bits::ones(word));
    if (!bits_.empty()) {
        if (block >= bits_.size()) {
            // Up to all the room at once: blocks come one after the other,
            // and growing a word at a time costs a call for each.
            makeRoom(bits_, block + 1, wordsFor(room));
            bits_.resize(bits_.capacity(), 0);
        }
        bits_[block] |= word;
        return;
    }
    makeRoom(list_, list_.size() + std::size_t(bits::ones(word)));
    for (; word; word &= word - 1)
        list_.push_back(block * 64 + unsigned(__builtin_ctzll(word)));
    becomeDense(slotCount, room);
}

void Posting::add(std::uint32_t slot, std::uint32_t slotCount)
{
    if (!bits_.empty()) {
        if (bits::test(bits_, slot))
            return;
        if (slot / 64 >= bits_.size()) {
            makeRoom(bits_, slot / 64 + 1);
            bits_.resize(bits_.capacity(), 0);
        }
        bits_[slot / 64] |= std::uint64_t(1) << (slot % 64);
        ++count_;
        return;
    }
    makeRoom(list_, list_.size() + 1);
    if (list_.empty() || list_.back() < slot) {
        list_.push_back(slot);
    } else {
        const auto at = std::lower_bound(list_.begin(), list_.end(), slot);
        if (*at == slot)
            return;
        list_.insert(at, slot);
    }
    ++count_;
    becomeDense(slotCount, 0);
}

void Posting::remove(std::uint32_t slot)
{
    if (!bits_.empty()) {
        if (!bits::test(bits_, slot))
            return;
        bits::clear(bits_, slot);
        --count_;
        return;
    }
    const auto at = std::lower_bound(list_.begin(), list_.end(), slot);
    if (at != list_.end() && *at == slot) {
        list_.erase(at);
        --count_;
    }
}

void Posting::trimRoom()
{
    // The words past the last one in use are zero: missing words are too.
    std::size_t used = bits_.size();
    while (used > 1 && bits_[used - 1] == 0)
        --used;
    if (bits_.capacity() > used + used / 4 + 8) {
        bits_.resize(used);
        bits_.shrink_to_fit();
    }
}

void Posting::insertSlot(std::uint32_t at)
{
    if (!bits_.empty()) {
        bits::insertZero(bits_, at);
        return;
    }
    for (auto it = std::lower_bound(list_.begin(), list_.end(), at); it != list_.end(); ++it)
        ++*it;
}

bool Posting::has(std::uint32_t slot) const
{
    if (!bits_.empty())
        return bits::test(bits_, slot);
    return std::binary_search(list_.begin(), list_.end(), slot);
}

} // namespace varnel::search

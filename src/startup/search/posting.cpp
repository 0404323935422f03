#include "posting.h"

#include <algorithm>

namespace varnel::search
{

void Posting::add(std::uint32_t slot, std::uint32_t slotCount)
{
    if (!bits_.empty()) {
        if (slot / 64 >= bits_.size())
            bits_.resize(std::max<std::size_t>(slot / 64 + 1, bits_.size() * 5 / 4), 0);
        std::uint64_t &word = bits_[slot / 64];
        const std::uint64_t bit = std::uint64_t(1) << (slot % 64);
        count_ += (word & bit) ? 0 : 1;
        word |= bit;
        return;
    }
    if (list_.empty() || list_.back() < slot) {
        list_.push_back(slot);
    } else {
        const auto at = std::lower_bound(list_.begin(), list_.end(), slot);
        if (at != list_.end() && *at == slot)
            return;
        list_.insert(at, slot);
    }
    ++count_;
    // A list costs 32 bits a note, a set one bit a slot.
    if (list_.size() > 64 && list_.size() * 32 > slotCount) {
        bits_.assign(std::size_t(slotCount) / 64 + 1, 0);
        for (const std::uint32_t s : list_) {
            if (s / 64 >= bits_.size())
                bits_.resize(s / 64 + 1, 0);
            bits_[s / 64] |= std::uint64_t(1) << (s % 64);
        }
        list_.clear();
        list_.shrink_to_fit();
    }
}

void Posting::remove(std::uint32_t slot)
{
    if (!bits_.empty()) {
        if (slot / 64 >= bits_.size())
            return;
        std::uint64_t &word = bits_[slot / 64];
        const std::uint64_t bit = std::uint64_t(1) << (slot % 64);
        count_ -= (word & bit) ? 1 : 0;
        word &= ~bit;
        return;
    }
    const auto at = std::lower_bound(list_.begin(), list_.end(), slot);
    if (at != list_.end() && *at == slot) {
        list_.erase(at);
        --count_;
    }
}

bool Posting::has(std::uint32_t slot) const
{
    if (!bits_.empty())
        return slot / 64 < bits_.size() && (bits_[slot / 64] >> (slot % 64)) & 1;
    return std::binary_search(list_.begin(), list_.end(), slot);
}

} // namespace varnel::search

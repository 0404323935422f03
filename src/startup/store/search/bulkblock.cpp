#include "store/search/bulkblock.h"

#include "store/search/charcodes.h"

namespace varnel::search
{

void BulkBlock::add(std::uint32_t slot, std::span<const std::uint32_t> keys, std::uint32_t keyLimit)
{
    if (chars_.size() < keyLimit)
        chars_.resize(keyLimit + 1024, 0);
    const std::uint64_t bit = std::uint64_t(1) << (slot % 64);
    std::uint32_t previous = CharCodes::kNone;
    for (const std::uint32_t key : keys) {
        if (key == CharCodes::kNone) {
            previous = key;
            continue;
        }
        std::uint64_t &word = chars_[key];
        if (!word)
            touchedChars_.push_back(key);
        word |= bit;
        if (const int pair = asciiPair(previous, key); pair >= 0) {
            std::uint64_t &pairWord = pairs_[std::size_t(pair)];
            if (!pairWord)
                touchedPairs_.push_back(std::uint32_t(pair));
            pairWord |= bit;
        }
        previous = key;
    }
}

void BulkBlock::writeTo(std::vector<Posting> &chars, std::vector<Posting> &pairs,
                        std::uint32_t slotCount, std::uint32_t room, std::uint32_t nextSlot)
{
    if (chars.size() < chars_.size())
        chars.resize(chars_.size());
    for (const std::uint32_t key : touchedChars_) {
        chars[key].addBlock(index_, chars_[key], slotCount, room);
        chars_[key] = 0;
    }
    for (const std::uint32_t pair : touchedPairs_) {
        pairs[pair].addBlock(index_, pairs_[pair], slotCount, room);
        pairs_[pair] = 0;
    }
    touchedChars_.clear();
    touchedPairs_.clear();
    index_ = nextSlot / 64;
}

} // namespace varnel::search

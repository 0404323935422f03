#pragma once

#include <cstdint>
#include <vector>

// The notes (by slot number) that hold one character or one hashed pair of
// characters: a sorted list while few notes do, a bit set once many do.
namespace varnel::search
{

class Posting
{
  public:
    void add(std::uint32_t slot, std::uint32_t slotCount);
    void remove(std::uint32_t slot);
    bool has(std::uint32_t slot) const;
    std::size_t count() const { return count_; }
    bool dense() const { return !bits_.empty(); }
    const std::vector<std::uint64_t> &bits() const { return bits_; }
    const std::vector<std::uint32_t> &list() const { return list_; }
    std::size_t bytes() const { return bits_.capacity() * 8 + list_.capacity() * 4; }

  private:
    std::vector<std::uint32_t> list_;
    std::vector<std::uint64_t> bits_;
    std::size_t count_ = 0;
};

} // namespace varnel::search

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace varnel::search
{

// Gives a note's block back to wherever it came from: a chunk of an arena
// or the heap, which its address tells apart.
struct BlockFree {
    void operator()(std::uint64_t *words) const noexcept;
};
using NoteBlock = std::unique_ptr<std::uint64_t[], BlockFree>;

// The blocks of a bulk read's notes, cut one after the other from chunks of
// 2 MB whose pages the kernel is asked for a few hundred KB at a time, ahead
// of the cuts. On a virtual machine each page fault leaves the guest: taking
// the pages of a few hundred MB one fault at a time costs about three times
// as long, and as much as placing the notes. (Huge pages would cost even
// less to take, but the first read of them after the build was slow here.)
// A chunk goes back when its last block goes; space freed inside it is not
// reused, so a block replaced after the bulk comes from the heap (`take`
// without an arena). An arena cuts on one thread; its blocks may be freed on
// any.
class NoteArena
{
  public:
    NoteArena() = default;
    ~NoteArena();
    NoteArena(const NoteArena &) = delete;
    NoteArena &operator=(const NoteArena &) = delete;

    // An uninitialised block of `words` words: from `arena`'s chunk when one
    // is given and the block is small beside a chunk, else from the heap.
    static NoteBlock take(NoteArena *arena, std::size_t words);
    // Chunks still held, by any arena or block (for the tests).
    static std::size_t chunksHeld() { return chunks_.load(); }

  private:
    friend struct BlockFree;
    struct Chunk;
    std::uint64_t *cut(std::size_t words);
    void populateTo(std::size_t words);

    Chunk *chunk_ = nullptr;
    std::size_t used_ = 0;      // words of the chunk cut so far
    std::size_t populated_ = 0; // words of the chunk whose pages were asked for
    static std::atomic<std::size_t> chunks_;
};

} // namespace varnel::search

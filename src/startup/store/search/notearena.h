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

// The blocks of a bulk read's notes, cut one after the other from chunks
// that the kernel backs with huge pages where it can: on a virtual machine,
// where each page fault leaves the guest, the first touch of every 4 KB page
// of a few hundred MB costs as much as placing the notes. A chunk goes back
// when its last block goes; space freed inside it is not reused, so a block
// replaced after the bulk comes from the heap (`take` without an arena).
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
    // Gives the pages of the heap's free holes back to the kernel. While a
    // bulk read lasts, the sets' lists leave their old copies behind as they
    // grow, and the notes' blocks, cut from chunks, no longer fill them.
    static void returnHeapHoles();

  private:
    friend struct BlockFree;
    struct Chunk;
    std::uint64_t *cut(std::size_t words);

    Chunk *chunk_ = nullptr;
    std::size_t used_ = 0; // words of the chunk cut so far
    static std::atomic<std::size_t> chunks_;
};

} // namespace varnel::search

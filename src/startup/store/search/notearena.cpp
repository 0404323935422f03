#include "store/search/notearena.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

namespace varnel::search
{

namespace
{
constexpr std::size_t kChunkBytes = std::size_t(2) << 20;
constexpr std::size_t kChunkWords = kChunkBytes / sizeof(std::uint64_t);
// Larger blocks come from the heap: a chunk's unused end stays short.
constexpr std::size_t kLargestCut = kChunkWords / 16;
// The pages asked for at a time, ahead of the cuts: few system calls, and
// little taken that no block uses when the bulk ends.
constexpr std::size_t kPopulateWords = (std::size_t(256) << 10) / sizeof(std::uint64_t);
// The heap's blocks start at multiples of 16, a chunk's 8 past one: the
// address says where a block came from, and a chunk's start is its address
// rounded down to the chunk's size.
constexpr std::uintptr_t kChunkMark = 8;
constexpr std::align_val_t kHeapAlignment{2 * kChunkMark};

// A chunk aligned to its size; null when the kernel has no memory to give.
void *mapChunk()
{
    void *raw =
        mmap(nullptr, 2 * kChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kChunkBytes - 1) & ~(kChunkBytes - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const std::uintptr_t tail = start + kChunkBytes - aligned; tail > 0)
        munmap(reinterpret_cast<void *>(aligned + kChunkBytes), tail);
    return reinterpret_cast<void *>(aligned);
}
} // namespace

// At the start of its memory: the blocks still in use, and the arena's hold
// while it cuts from it.
struct NoteArena::Chunk {
    std::atomic<std::size_t> holds{1};

    void release()
    {
        if (holds.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            this->~Chunk();
            munmap(this, kChunkBytes);
            chunks_.fetch_sub(1);
        }
    }
};

std::atomic<std::size_t> NoteArena::chunks_{0};

NoteArena::~NoteArena()
{
    if (chunk_)
        chunk_->release();
}

NoteBlock NoteArena::take(NoteArena *arena, std::size_t words)
{
    if (arena && words < kLargestCut) {
        if (std::uint64_t *block = arena->cut(words))
            return NoteBlock(block);
    }
    return NoteBlock(static_cast<std::uint64_t *>(
        ::operator new(words * sizeof(std::uint64_t), kHeapAlignment)));
}

std::uint64_t *NoteArena::cut(std::size_t words)
{
    constexpr std::size_t kHeaderWords = (sizeof(Chunk) + 7) / 8;
    // A block of a chunk starts at an odd word: 8 past a multiple of 16.
    const std::size_t at = used_ | 1;
    if (!chunk_ || at + words >= kChunkWords) {
        void *memory = mapChunk();
        if (!memory)
            return nullptr;
        if (chunk_)
            chunk_->release();
        chunk_ = new (memory) Chunk;
        chunks_.fetch_add(1);
        used_ = kHeaderWords;
        populated_ = 0;
        return cut(words);
    }
    used_ = at + words;
    populateTo(used_);
    chunk_->holds.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<std::uint64_t *>(chunk_) + at;
}

// Asks the kernel for the pages up to `words` of the chunk and some way
// beyond, in one call, before they are written. Where it cannot (a kernel
// before 5.14), the writes take them a fault at a time.
void NoteArena::populateTo(std::size_t words)
{
    if (words <= populated_)
        return;
    const std::size_t to = std::min(kChunkWords, (words / kPopulateWords + 1) * kPopulateWords);
#ifdef MADV_POPULATE_WRITE
    auto *base = reinterpret_cast<char *>(chunk_);
    madvise(base + populated_ * 8, (to - populated_) * 8, MADV_POPULATE_WRITE);
#endif
    populated_ = to;
}

void BlockFree::operator()(std::uint64_t *words) const noexcept
{
    const auto address = reinterpret_cast<std::uintptr_t>(words);
    if (address & kChunkMark)
        reinterpret_cast<NoteArena::Chunk *>(address & ~(kChunkBytes - 1))->release();
    else
        ::operator delete(words, kHeapAlignment);
}

} // namespace varnel::search

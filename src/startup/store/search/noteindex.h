#pragma once

#include "store/search/bulkblock.h"
#include "store/search/charcodes.h"
#include "store/search/indexednote.h"
#include "store/search/pairfilter.h"
#include "store/search/posting.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QThreadPool;

// Every note's searchable text in memory, with the exact membership of each
// character and of each pair of ASCII characters, and per note a filter of
// the pairs of neighbouring characters it holds. It answers the list statements of the notes window
// — all notes, pending notes, one category, and the search — exactly as SQLite would, without
// reading the database.
//
// Notes sit in slots ordered by bookid, so the list order (处理 ascending,
// bookid descending) is a walk over the slots of each 处理 value from the top
// down: no sort. New notes get the highest bookid and take a new slot at the
// end; a note with a lower id than some other makes room among them.
namespace varnel::search
{

// One column as SQLite gives it as text (sqlite3_column_text), or Null.
struct FieldText {
    bool null = true;
    std::string_view bytes;
};

// A row of 企业日记 as the index needs it.
struct NoteRecord {
    std::int64_t bookid = 0;
    FieldText title, body, time; // time as stored
    bool categoryIsInteger = false;
    std::int64_t category = 0;
    enum State { StateNull, StateInteger, StateOther } stateKind = StateNull;
    std::int64_t state = 0; // 处理
};

// One row of a list: the note and whether it shows as done (处理 = 1).
struct ListEntry {
    std::int64_t bookid = 0;
    bool done = false;
    bool operator==(const ListEntry &) const = default;
};

// A note's text made ready for the index: its fields encoded, with the key of
// every character. Encoding writes the index's table of characters, so notes
// are encoded on one thread at a time; they may be placed on another.
struct EncodedNote {
    EncodedText text;
    std::uint32_t stored = 0;   // bytes of title, body and time as stored
    std::uint32_t keyLimit = 0; // above every key of the text
    std::uint64_t print = 0;    // of the record's text as stored
    std::uint8_t nulls = 0;     // a bit per field that is Null
    bool full = false;          // the table of characters ran out
    PairFilter pairs;           // while the block is made
    IndexedNote packed;         // its block, once made by pack(), else by place()
    bool packedBuilt = false;
};

class NoteIndex
{
  public:
    NoteIndex();
    ~NoteIndex();

    // Adds or replaces a note. False when the index cannot hold it (more
    // distinct characters than it has codes for); it is then unusable.
    bool put(const NoteRecord &record);
    // put() in two steps: encode() reads the record's text, place() takes
    // the rest of the record (not its text) and the encoded note. In bulk,
    // place() touches nothing encode() does, so while one thread places a
    // note another may encode the next.
    void encode(const NoteRecord &record, EncodedNote &out);
    bool place(const NoteRecord &record, EncodedNote &encoded);
    // The note's block (its pair filter and its text), on any thread: place()
    // makes it if not. Most of the memory of a new index is these blocks, and
    // the first touch of each page of it costs more than writing it.
    // `arena`: where the block is cut from while in bulk (one per thread).
    static void pack(std::int64_t bookid, EncodedNote &encoded, NoteArena *arena);
    void erase(std::int64_t bookid);
    // Whether the index holds this record as it is.
    bool holds(const NoteRecord &record) const;
    // Drops every note whose bookid is not in `kept` (ascending).
    void keepOnly(const std::vector<std::int64_t> &kept);
    // Notes put between these arrive in ascending bookid order, each new:
    // their sets are written a block of 64 notes at a time. `lastId` is the
    // highest bookid to come, if known: the sets then take the room they
    // will need at once.
    void beginBulk(std::int64_t lastId = 0);
    void endBulk();
    // False while some note has a 处理 that is neither Null nor an integer
    // (the list order of such values is left to SQLite), or after put() failed.
    bool usable() const { return !full_ && oddStates_ == 0; }

    // Where a search over many notes runs its second share (none: one core).
    void setPool(QThreadPool *pool) { pool_ = pool; }

    std::size_t noteCount() const { return live_; }
    // Slots left by deleted notes (they cost a bit in every set each).
    std::size_t freeSlots() const { return ids_.size() - live_; }
    std::size_t memoryBytes() const;
    // The notes' text as stored (title, body and time, UTF-8).
    std::size_t storedBytes() const { return stored_; }

    std::vector<ListEntry> listAll() const;
    std::vector<ListEntry> listPending() const;
    std::vector<ListEntry> listCategory(std::int64_t category) const;
    std::int64_t countCategory(std::int64_t category) const;

    // The notes whose title, body or shown time is LIKE '%' || text || '%',
    // in list order; nullopt for the one pattern only SQLite can decide (a
    // U+0080 right after a %). A text that extends or shortens a recent one
    // reuses its result.
    std::optional<std::vector<ListEntry>> search(std::string_view utf8Text);

  private:
    using Note = IndexedNote;
    struct Group;
    struct Cached {
        std::vector<std::uint32_t> inner; // pattern items between the outer %
        std::vector<std::uint64_t> hits;  // matching slots
        // For a plain text, by slot: its first match is at this byte or
        // later (0 where unknown); none for texts with wildcards.
        std::vector<std::uint32_t> firstAt;
    };
    using Bits = std::vector<std::uint64_t>;

    std::uint32_t slotFor(std::int64_t bookid, bool &isNew);
    void makeRoom(std::uint32_t at);
    void indexKeys(std::uint32_t slot, bool add);
    void addToBlock(std::uint32_t slot, const EncodedNote &encoded);
    void flushBlock(std::uint32_t nextSlot);
    std::uint32_t expectedSlots() const;
    Group &groupOf(const Note &note);
    void leaveGroup(std::uint32_t slot);
    template <typename Keep> std::vector<ListEntry> inOrder(const Bits &hits, Keep keep) const;
    std::vector<ListEntry> inOrder(const Bits &hits) const;
    Bits candidates(const std::vector<std::uint32_t> &items, const Bits *within) const;
    Bits confirm(const Bits &candidates, const std::vector<std::uint32_t> &items,
                 const std::vector<std::uint32_t> *startAt,
                 std::vector<std::uint32_t> *firstAt) const;
    std::uint32_t slotCount() const { return std::uint32_t(ids_.size()); }

    CharCodes codes_;
    std::vector<std::int64_t> ids_;   // by slot, ascending; a free slot keeps its old id
    std::vector<Note> notes_;         // by slot
    Bits used_;                       // slots that hold a note
    std::vector<Group> groups_;       // one per 处理 value: Null first, then ascending
    std::vector<Posting> chars_;      // by character key
    std::vector<Posting> asciiPairs_; // by asciiPair()
    std::vector<std::uint32_t> charStamp_;
    std::vector<std::uint32_t> pairStamp_;
    std::uint32_t stamp_ = 0;
    std::unique_ptr<BulkBlock> block_; // while in bulk
    std::unique_ptr<NoteArena> arena_; // while in bulk: the blocks place() makes
    std::deque<Cached> recent_;
    std::size_t live_ = 0;
    std::size_t stored_ = 0;
    std::size_t oddStates_ = 0;
    bool full_ = false;
    QThreadPool *pool_ = nullptr;
};

} // namespace varnel::search

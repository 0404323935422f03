#pragma once

#include "charcodes.h"
#include "posting.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Every note's searchable text in memory, with the membership of each
// character and each (hashed) pair of neighbouring characters, and the notes
// in list order (处理 ascending, bookid descending). It answers the list
// statements of the notes window — all notes, pending notes, one category,
// and the search — exactly as SQLite would, without reading the database.
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

class NoteIndex
{
  public:
    // Adds or replaces a note. False when the index cannot hold it (more
    // distinct characters than it has codes for); it is then unusable.
    bool put(const NoteRecord &record);
    void erase(std::int64_t bookid);
    // Between these, put() only adds new notes and the list order is sorted
    // once at the end: for building the whole index.
    void beginBulk() { bulk_ = true; }
    void endBulk();
    // False while some note has a 处理 that is neither Null nor an integer
    // (the list order of such values is left to SQLite).
    bool usable() const { return !full_ && oddStates_ == 0; }

    std::size_t noteCount() const { return slotOf_.size(); }
    std::size_t memoryBytes() const;

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
    struct Note {
        std::int64_t bookid = 0;
        std::int64_t category = 0;
        std::int64_t state = 0;
        std::string text;       // title, body and shown time, encoded, NUL between them
        std::uint8_t nulls = 0; // bit 0 title, 1 body, 2 time
        bool categoryIsInteger = false;
        bool stateNull = true;
        bool live = false;
        bool odd = false;
    };
    struct Cached {
        std::vector<std::uint32_t> inner;   // pattern items between the outer %
        std::vector<std::uint32_t> matched; // matching slots, ascending
    };
    static constexpr std::uint32_t kPairBuckets = 4096;

    std::uint32_t allocateSlot();
    void indexKeys(std::uint32_t slot, bool add);
    bool listsBefore(std::uint32_t a, std::uint32_t b) const;
    void placeInOrder(std::uint32_t slot);
    void takeOutOfOrder(std::uint32_t slot);
    std::vector<ListEntry> inOrder(const std::vector<std::uint64_t> &hits) const;
    template <typename Keep> std::vector<ListEntry> listWhere(Keep keep) const;
    std::vector<std::uint32_t> candidates(const std::vector<std::uint32_t> &items,
                                          const std::vector<std::uint32_t> *within) const;
    void remember(std::vector<std::uint32_t> inner, const std::vector<std::uint64_t> &hits);

    CharCodes codes_;
    std::vector<Note> notes_;
    std::vector<std::uint32_t> freeSlots_;
    std::unordered_map<std::int64_t, std::uint32_t> slotOf_;
    std::vector<std::uint32_t> order_; // live slots in list order
    std::vector<Posting> chars_;       // by character key
    std::vector<Posting> pairs_ = std::vector<Posting>(kPairBuckets);
    std::vector<std::uint32_t> charStamp_;
    std::vector<std::uint32_t> pairStamp_ = std::vector<std::uint32_t>(kPairBuckets);
    std::uint32_t stamp_ = 0;
    std::deque<Cached> recent_;
    bool full_ = false;
    bool bulk_ = false;
    std::size_t oddStates_ = 0;
};

} // namespace varnel::search

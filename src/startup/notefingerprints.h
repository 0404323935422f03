#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;

// A compact picture of every note's searchable text (title, body and the time
// as shown): for each note, a 4096-bit set of the single characters and
// character pairs it contains, case-folded like LIKE. A search text can only
// occur in a note whose set holds all of the search text's characters and
// pairs, so a search reads and confirms just those notes instead of every
// note. The sets live in memory, follow every change made through the
// process's database handle, and are rebuilt when another handle changed the
// file. Nothing here decides a match: LIKE still does.
namespace varnel
{

class NoteFingerprints
{
  public:
    static NoteFingerprints &instance();

    // Called by the data layer when the shared handle opens and closes.
    void attach(sqlite3 *db);
    void detach();

    // A condition for the notes table that keeps every note that may contain
    // `term` (a LIKE pattern body: % and _ are wildcards), e.g.
    // "bookid in (3,17)". Empty when it cannot narrow the search.
    QString candidateCondition(const QString &term);

    // Exposed for tests.
    using Bits = std::array<std::uint64_t, 64>;
    static Bits gramsOf(std::string_view lowerUtf8);
    static Bits termMask(const QString &term);
    bool isBuilt() const { return built_; }

  private:
    static void onChange(void *self, int op, const char *database, const char *table,
                         long long rowid);
    void rebuild();
    void refreshDirty();
    void store(long long bookid, const Bits &bits);
    void erase(long long bookid);
    bool externalChange();

    sqlite3 *db_ = nullptr;
    bool built_ = false;
    long long dataVersion_ = -1;
    std::vector<long long> ids_; // 0 marks a free slot
    std::vector<Bits> bits_;
    std::unordered_map<long long, std::size_t> slot_;
    std::unordered_set<long long> dirty_;
};

} // namespace varnel

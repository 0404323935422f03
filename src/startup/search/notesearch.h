#pragma once

#include "dbengine.h"
#include "notefilter.h"
#include "noteindex.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

namespace varnel
{
class Connection;
}

// The search engine of the data layer. It keeps a NoteIndex of the notes of
// the shared handle's file, built on a thread of its own from the moment the
// handle opens, and answers the notes window's lists from it:
//
//  - every change made through the shared handle marks its row (update hook;
//    the notes table is never emptied in one sweep, so each deleted row is
//    reported), and the row is read again before the next answer;
//  - a change made through another handle shows in PRAGMA data_version, and a
//    replaced file reopens the shared handle: either way the index is built
//    anew in the background;
//  - until the index is ready (or whenever it cannot answer exactly), the
//    statement of the list runs in SQLite instead, with the same result.
//
// All of it runs on the thread that owns the shared handle, except the build
// and the second half of a large search.
namespace varnel::search
{

class NoteSearch
{
  public:
    static NoteSearch &instance();
    ~NoteSearch();

    // Called by the data layer when the shared handle opens and closes.
    void attach(sqlite3 *db, const QString &path, db::FileId file);
    void detach();

    // The notes of `filter` from memory, or nullopt when the index is not
    // ready: the caller then runs the filter's statement.
    std::optional<std::vector<ListEntry>> list(const NoteFilter &filter);
    // How many notes `filter` lists.
    std::optional<std::int64_t> count(const NoteFilter &filter);

    // For tests and benchmarks: whether the index answers now, waiting up to
    // `timeoutMs` for a build under way.
    bool waitUntilReady(int timeoutMs);
    struct Figures {
        double buildMs = -1; // the last finished build
        std::size_t memoryBytes = 0;
        std::size_t notes = 0;
    };
    Figures figures() const;

  private:
    struct Build;
    NoteSearch() = default;
    static void onUpdate(void *self, int op, const char *database, const char *table,
                         sqlite3_int64 rowid);
    static void onRollback(void *self);
    static int authorize(void *, int action, const char *table, const char *, const char *,
                         const char *);
    bool fresh();
    void startBuild();
    void stopBuild();
    void finishBuild();
    bool applyDirty();
    long long dataVersion();

    sqlite3 *db_ = nullptr;
    QString path_;
    db::FileId file_;
    std::unique_ptr<NoteIndex> index_;
    std::unique_ptr<Build> build_;
    long long versionAtBuild_ = -1;
    long long version_ = -1;
    std::unordered_set<std::int64_t> dirty_;   // rows to read again
    std::unordered_set<std::int64_t> touched_; // rows changed in the open transaction
    qint64 lastFailure_ = 0;
    double buildMs_ = -1;
};

// The rows of a list of the notes window: from the index when it is ready,
// otherwise from the filter's statement. Throws DbError.
std::vector<ListEntry> listNotes(Connection &conn, const NoteFilter &filter);
// How many notes `filter` lists. Throws DbError.
std::int64_t countNotes(Connection &conn, const NoteFilter &filter);

} // namespace varnel::search

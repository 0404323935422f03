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

class QTimer;

namespace varnel
{
class Connection;
}

// The search engine of the data layer. It keeps a NoteIndex of the notes of
// the shared handle's file and answers the notes window's lists from it:
//
//  - the index is read from the moment the handle opens, a few milliseconds
//    at a time between the program's other events, on the handle's own
//    thread: nothing else ever uses the handle meanwhile, and a save waits
//    for one such turn at most;
//  - every change made through the shared handle marks its row (update hook;
//    the notes table is never emptied in one sweep, so each deleted row is
//    reported, and a statement that changes a bookid has the index read
//    anew), and the row is read again before the next answer;
//  - a change made through another handle shows in PRAGMA data_version, and a
//    replaced file reopens the shared handle: either way the index is read
//    anew;
//  - until the index is ready (or whenever it cannot answer exactly), the
//    statement of the list runs in SQLite instead, with the same result.
//
// Only the index's own work (checking candidates against the text) uses a
// second thread, and that touches memory alone.
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

    // For tests and benchmarks: reads the rest of the index at once, then
    // says whether it answers now (false when reading failed or took longer
    // than `timeoutMs`).
    bool waitUntilReady(int timeoutMs);
    struct Figures {
        double buildMs = -1;   // the last finished build, from its start to its end
        double readingMs = -1; // ... of which the turns took this long together
        std::size_t memoryBytes = 0;
        std::size_t notes = 0;
    };
    Figures figures() const;

  private:
    struct Build;
    NoteSearch();
    static void onUpdate(void *self, int op, const char *database, const char *table,
                         sqlite3_int64 rowid);
    static void onRollback(void *self);
    static int authorize(void *self, int action, const char *table, const char *column,
                         const char *, const char *);
    bool fresh();
    void startBuild();
    void stopBuild();
    enum class Turn { More, Done, Failed, Busy };
    Turn readTurn(double budgetMs);
    void onTimer();
    bool settle(Turn turn);
    void finishBuild();
    bool applyDirty();
    long long dataVersion();

    sqlite3 *db_ = nullptr;
    QString path_;
    db::FileId file_;
    std::unique_ptr<NoteIndex> index_;
    std::unique_ptr<Build> build_;
    std::unique_ptr<QTimer> timer_;
    long long version_ = -1;
    std::unordered_set<std::int64_t> dirty_;   // rows to read again
    std::unordered_set<std::int64_t> touched_; // rows changed in the open transaction
    bool idsMoved_ = false;                    // an UPDATE of bookid was prepared
    qint64 lastFailure_ = 0;
    double buildMs_ = -1;
    double readingMs_ = -1;
};

// The rows of a list of the notes window: from the index when it is ready,
// otherwise from the filter's statement. Throws DbError.
std::vector<ListEntry> listNotes(Connection &conn, const NoteFilter &filter);
// How many notes `filter` lists. Throws DbError.
std::int64_t countNotes(Connection &conn, const NoteFilter &filter);

} // namespace varnel::search

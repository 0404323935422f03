#pragma once

#include "store/dbengine.h"
#include "store/search/notefilter.h"
#include "store/search/noteindex.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
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
// the shared handle's file and answers the notes window's lists from it:
//
//  - the index is read from the moment the handle opens, on a thread of its
//    own with a read-only handle of its own, a few milliseconds per read so
//    that a save through the shared handle waits for one such read at most;
//    the window's thread only takes the finished index over;
//  - every change made through the shared handle marks its row (update hook;
//    the notes table is never emptied in one sweep, so each deleted row is
//    reported, and a statement that changes a bookid has the index read
//    anew), and the row is read again before the next answer: rows changed
//    while the index was being read are read again when it is taken over;
//  - a change made through another handle shows in PRAGMA data_version: the
//    file is read again and only the notes that differ from the index are
//    taken in again (IndexReader); a replaced file reopens the shared handle
//    and the index is read anew;
//  - until the index is ready (or whenever it cannot answer exactly: a file
//    whose bookid is not the rowid, an index over its memory budget), the
//    statement of the list runs in SQLite instead, with the same result.
namespace varnel::search
{

// Tells the window's thread that the index has become ready.
class IndexEvents : public QObject
{
    Q_OBJECT
  signals:
    void ready();
};

// Owned by the DataLayer (DataLayer::current().search()), which has it follow
// the shared handle.
class NoteSearch : public db::HandleListener
{
  public:
    NoteSearch();
    ~NoteSearch();
    NoteSearch(const NoteSearch &) = delete;
    NoteSearch &operator=(const NoteSearch &) = delete;

    // The shared handle opened a file, or is about to close it: the index
    // follows the new file, or stops reading and lets go of the handle.
    void handleOpened(sqlite3 *db, const QString &path, db::FileId file) override;
    void handleClosing() override;

    // The notes of `filter` from memory, or nullopt when the index is not
    // ready: the caller then runs the filter's statement.
    std::optional<std::vector<ListEntry>> list(const NoteFilter &filter);
    // How many notes `filter` lists.
    std::optional<std::int64_t> count(const NoteFilter &filter);
    // Whether a list would come from memory now.
    bool ready() { return fresh(); }
    // The file the shared handle has open (empty when none).
    QString path() const { return db_ ? path_ : QString(); }
    // Emits ready() on the window's thread each time a build is taken over.
    IndexEvents *events();

    // The most memory the index may take; past it the lists come from SQL.
    // By default a quarter of the machine's memory (a third of the address
    // space where that is limited).
    void setMemoryBudget(std::size_t bytes) { budget_ = bytes; }
    std::size_t memoryBudget() const { return budget_; }
    static std::size_t defaultMemoryBudget();

    // For tests and benchmarks: waits for the build under way, then says
    // whether the index answers now (false when reading failed or took longer
    // than `timeoutMs`).
    bool waitUntilReady(int timeoutMs);
    struct Figures {
        double buildMs = -1;      // the last finished build, from its start to its end
        double readingMs = -1;    // ... of which reading the file took this long
        double readyMs = -1;      // from the handle's open to the index taken over
        double readingCpuMs = -1; // the reading thread's processor time
        std::size_t memoryBytes = 0;
        std::size_t textBytes = 0; // the notes' stored text the index holds
        std::size_t notes = 0;
        std::size_t notesTaken = 0; // notes the last read encoded: all, for a new index
        int catchUps = 0; // reads that brought the index up to date after another program wrote
    };
    Figures figures() const;

  private:
    struct Build;
    void attach(sqlite3 *db, const QString &path, db::FileId file);
    void detach();
    static void onUpdate(void *self, int op, const char *database, const char *table,
                         sqlite3_int64 rowid);
    static void onRollback(void *self);
    static int authorize(void *self, int action, const char *table, const char *column,
                         const char *, const char *);
    QThreadPool *threads();
    bool fresh();
    bool keyedByRowid();
    void startBuild(std::unique_ptr<NoteIndex> current = nullptr);
    void stopBuild();
    void finishBuild();
    bool applyDirty();
    long long dataVersion();

    sqlite3 *db_ = nullptr;
    QString path_;
    db::FileId file_;
    bool keyed_ = true; // bookid is the rowid: the update hook names notes
    std::unique_ptr<NoteIndex> index_;
    std::unique_ptr<Build> build_;
    std::unique_ptr<IndexEvents> events_;
    std::unique_ptr<QThreadPool> pool_; // see threads()
    long long version_ = -1;
    std::unordered_set<std::int64_t> dirty_;   // rows to read again
    std::unordered_set<std::int64_t> touched_; // rows changed in the open transaction
    bool idsMoved_ = false;                    // an UPDATE of bookid was prepared
    bool savepointUndone_ = false;             // a ROLLBACK TO was prepared
    qint64 lastFailure_ = 0;
    // The index did not fit (memory budget, characters): no new build before
    // the notes change and a while has passed.
    bool gaveUp_ = false;
    long long gaveUpVersion_ = -1;
    qint64 gaveUpAt_ = 0;
    std::size_t budget_ = defaultMemoryBudget();
    std::size_t measuredAt_ = 0; // the stored text when the index was last measured
    QElapsedTimer opened_;
    double buildMs_ = -1;
    double readingMs_ = -1;
    double readyMs_ = -1;
    double readingCpuMs_ = -1;
    std::size_t notesTaken_ = 0;
    int catchUps_ = 0;
};

// The rows of a list of the notes window: from the index when it is ready,
// otherwise from the filter's statement. Throws DbError.
std::vector<ListEntry> listNotes(Connection &conn, const NoteFilter &filter);
// How many notes `filter` lists. Throws DbError.
std::int64_t countNotes(Connection &conn, const NoteFilter &filter);

} // namespace varnel::search

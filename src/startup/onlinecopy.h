#pragma once

#include <QString>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

struct sqlite3;
struct sqlite3_backup;
struct sqlite3_stmt;

namespace varnel::db
{

// Why a copy could not be made, or was made but did not pass its check.
class CopyError : public std::runtime_error
{
  public:
    enum Kind {
        Full,        // no room left on the disk
        NotWritable, // the file cannot be created or written
        CheckFailed, // the copy was written but is not sound
        Stopped,     // the data layer let go of the live database
        Failed,      // anything else; detail says what
    };
    CopyError(Kind kind, const QString &detail);
    Kind kind() const { return kind_; }
    QString detail() const { return detail_; }

  private:
    Kind kind_;
    QString detail_;
};

// A copy of the live notebook taken through the process's own database handle
// while the program goes on using it (SQLite's online backup). It reads a few
// pages at a time, so a data operation of the program waits at most for one
// such step, and a change the program saves through the handle during the copy
// is carried into the copy as well. The copy is keyed and ciphered like the
// live file.
//
// Construct it on the thread that does the data operations (it takes hold of
// the shared handle); copyTo and check then run on a worker thread. Before the
// data layer closes the handle it stops every copy (stopAll) and waits until
// none is working any more.
class OnlineCopy
{
  public:
    OnlineCopy(); // throws DbError when the live database cannot be opened
    ~OnlineCopy();
    OnlineCopy(const OnlineCopy &) = delete;
    OnlineCopy &operator=(const OnlineCopy &) = delete;

    // Writes the copy into the new file `target` and syncs it to disk.
    void copyTo(const QString &target);
    // Opens `target` with the key and checks it: PRAGMA integrity_check says
    // "ok" and it holds as many notes as the live file did when the copy was
    // taken. Returns that number of notes.
    qint64 check(const QString &target);

    // Marks the time a worker uses the copy, for stopAll to wait on.
    void setWorking(bool working);
    // Makes copyTo and check end soon with CopyError::Stopped; any thread.
    void stop();
    bool stopped() const;

    // Stops every copy and waits until no worker uses one.
    static void stopAll();

  private:
    sqlite3 *openTarget(const QString &path, bool create);
    void closeTarget();
    bool copyTurn();
    qint64 totalChanges() const;
    qint64 countLiveNotes(qint64 *changes);
    int countTurn(qint64 *notes);
    void requireRunning() const; // under source_
    [[noreturn]] void failOnTarget(int rc, const QString &what);

    sqlite3 *live_ = nullptr;

    // Guards every use of the live handle and the flag that ends it.
    mutable std::mutex sourceUse_;
    bool stopped_ = false;
    sqlite3_backup *backup_ = nullptr;
    sqlite3_stmt *liveCount_ = nullptr;
    qint64 changesAtCopy_ = 0; // the handle's change count when the copy was complete

    std::mutex targetUse_; // the worker's connection to the copy, for stop()
    sqlite3 *target_ = nullptr;

    std::condition_variable idle_;
    bool working_ = false; // under the registry's lock
};

} // namespace varnel::db

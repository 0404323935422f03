#pragma once

#include "store/dbengine.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>

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
        LiveDamaged, // reading the live database found it damaged
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
// while the program goes on using it (SQLite's online backup). The part that
// reads the live handle goes in turns of a couple of milliseconds on the
// thread of the data operations, between the program's own work, and a change
// the program saves through the handle meanwhile is carried into the copy as
// well. The slow parts that only touch the copy (deriving its key, syncing it
// to disk, checking it) may run on a worker thread. The copy is keyed and
// ciphered like the live file.
//
//     create(target)  any thread
//     turn()...       the data operations' thread, until it says done
//     close()         any thread
//     check(target)   any thread
//
// Each throws CopyError. Before the data layer closes the handle it stops
// every copy (stopAll, through CopyWatch) and waits until no worker is inside
// one. Every part can be stopped: the copy's connection is interrupted (and
// its statements check for the stop as they go), and each part looks at the
// stop between its steps. Two steps run on a while: the key's derivation at
// the copy's open runs to its end, and SQLite's integrity check notices the
// interrupt only between its own steps (often after much of what was left).
class OnlineCopy
{
  public:
    OnlineCopy(); // takes hold of the shared handle; throws DbError
    ~OnlineCopy();
    OnlineCopy(const OnlineCopy &) = delete;
    OnlineCopy &operator=(const OnlineCopy &) = delete;

    // Creates `target`, a new database file keyed like the live one.
    void create(const QString &target);
    // Copies pages of the live database, then counts its notes, for a couple
    // of milliseconds. True when both are done.
    bool turn();
    // Closes the copy and syncs it to disk.
    void close();
    // Opens `target` with the key and checks it: PRAGMA integrity_check says
    // "ok" and it holds as many notes as the live file did when the copy was
    // complete. Returns that number of notes. `keyed`, if given, is called
    // once the copy is open with its key, before the integrity check.
    qint64 check(const QString &target, const std::function<void()> &keyed = {});

    // Marks the time a worker is inside create, close or check, for stopAll.
    void setWorking(bool working);
    // Makes the copy end soon with CopyError::Stopped; any thread.
    void stop();
    // Stops and lets go of the copy's file; the thread that has it.
    void discard();
    bool stopped() const;

    // Stops every copy and waits until no worker is inside one.
    static void stopAll();

  private:
    void copyTurn();
    void countTurn();
    qint64 totalChanges() const;
    void requireRunning() const; // under sourceUse_
    void closeTarget();
    [[noreturn]] void failOnTarget(int rc, const QString &what);
    sqlite3 *openTarget(const QString &path, bool create); // throws DbError
    static int onProgress(void *self);

    sqlite3 *live_ = nullptr;

    // Guards the live handle's objects and the flag that ends the copy.
    mutable std::mutex sourceUse_;
    std::atomic<bool> stopped_{false}; // set under sourceUse_, read anywhere
    bool copied_ = false;              // every page is in the copy
    bool counted_ = false;
    sqlite3_backup *backup_ = nullptr;
    sqlite3_stmt *liveCount_ = nullptr;
    int countAttempts_ = 0;
    qint64 liveNotes_ = 0;
    qint64 changesAtCopy_ = 0;  // the handle's change count when the copy was complete
    qint64 changesAtCount_ = 0; // ... and when the live notes were counted

    std::mutex targetUse_; // the connection to the copy, for stop()
    sqlite3 *target_ = nullptr;
    QString targetPath_;

    bool working_ = false; // under the registry's lock
};

// Stops every copy before the shared handle closes: a copy reads the live
// database through it. Owned by the DataLayer.
class CopyWatch : public HandleListener
{
  public:
    void handleOpened(sqlite3 *, const QString &, FileId) override {}
    void handleClosing() override { OnlineCopy::stopAll(); }
};

} // namespace varnel::db

#pragma once

#include "store/search/notearena.h"
#include "store/search/noteindex.h"

#include <QSemaphore>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Reads every note of a file into an index, on the calling thread (the search
// engine's reading thread) with a read-only handle of its own. Each read lasts
// a few milliseconds and then lets go of the file, so that a save through the
// shared handle is never kept waiting.
//
// For a new index each row is encoded here and placed by a thread of the
// reader's own, a batch at a time, while the next batches are read. Given an
// index read a moment ago (another program wrote since), only the notes that
// differ from it are taken in again and the notes no longer there are
// dropped: a commit of a few rows costs a read of the file, not a new index.
namespace varnel::search
{

class IndexReader
{
  public:
    struct Outcome {
        enum Kind { Done, Failed, Full, OverBudget, Stopped } kind = Failed;
        std::unique_ptr<NoteIndex> index;
        double readingMs = 0;
        double readingCpuMs = 0;    // of the reading thread
        std::size_t notesTaken = 0; // notes encoded: every one for a new index
    };

    IndexReader(const QString &path, const std::atomic<bool> &stop, std::size_t budget);
    ~IndexReader();
    IndexReader(const IndexReader &) = delete;
    IndexReader &operator=(const IndexReader &) = delete;

    // A new index, or `current` brought up to date.
    std::shared_ptr<Outcome> read(std::unique_ptr<NoteIndex> current = nullptr);

  private:
    struct Row;
    enum BatchResult { Placed, Full, OutOfMemory };

    bool open();
    void readRows();
    bool takeRow(sqlite3_stmt *stmt);
    bool passBatch();
    BatchResult place(NoteIndex &into, std::vector<Row> &rows, std::size_t count);
    int batchesBehind() const;
    bool settle(int batch);
    bool settleAll();
    void finish();

    QString path_;
    const std::atomic<bool> &stop_;
    std::size_t budget_;
    // One thread places every batch of a new index, so that the index's
    // memory comes from one heap and is freed into it: with a thread per
    // batch, each taking whichever heap glibc handed it, up to 20 MB of freed
    // memory stayed resident in the others. It ends with the reader.
    QThreadPool placer_;
    std::shared_ptr<Outcome> out_ = std::make_shared<Outcome>();
    std::unique_ptr<NoteIndex> index_;
    bool updating_ = false;          // `current` was given
    std::vector<std::int64_t> seen_; // while updating: the notes read, ascending
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *first_ = nullptr, *next_ = nullptr;
    std::int64_t lastId_ = 0; // the file's highest bookid
    // Batches read ahead of the placing thread: a few, so that neither thread
    // waits for the other whenever one batch takes longer than the next. The
    // wait for a batch is a semaphore, not its QFuture: waiting for a future
    // whose task has not started runs it on the waiting thread, beside the
    // placing thread's batch before it.
    static constexpr int kBatches = 4;
    std::vector<Row> batches_[kBatches];
    NoteArena arena_; // the blocks this thread makes (see passBatch)
    bool pending_[kBatches] = {};
    QSemaphore placedOne_[kBatches];
    BatchResult results_[kBatches] = {}; // each read once its batch is placed
    std::atomic<bool> failed_{false};    // a batch could not be placed: skip the rest
    int current_ = 0;
    std::size_t filled_ = 0;                  // rows of the batch being read
    std::size_t placed_ = 0, measuredAt_ = 0; // of the placing thread
};

} // namespace varnel::search

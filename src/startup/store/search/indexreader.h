#pragma once

#include "store/search/noteindex.h"

#include <QFuture>
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
// reader's own, a batch at a time, while the next batch is read. Given an
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
    bool settle();
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
    std::vector<Row> batches_[2];
    int current_ = 0;
    std::size_t filled_ = 0, placed_ = 0, measuredAt_ = 0;
    QFuture<void> placing_;
    BatchResult batchResult_ = Placed; // read once the batch is placed
};

} // namespace varnel::search

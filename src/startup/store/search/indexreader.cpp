#include "store/search/indexreader.h"

#include "store/database.h"
#include "store/dbengine.h"
#include "store/handover.h"
#include "store/search/noterows.h"

#include <QThreadPool>

#include <chrono>
#include <new>
#include <thread>

namespace varnel::search
{

namespace
{

// Rows handed to the placing thread at a time.
constexpr std::size_t kRowsPerBatch = 128;
// Notes placed between two measures of the index's memory.
constexpr std::size_t kMeasureEveryNotes = 4096;
// One read, after which the reader lets go of the file for a moment.
constexpr double kTurnMs = 8;

// A read waits for another program's write lock, unless it is being stopped.
int waitUnlessStopped(void *stop, int attempts)
{
    if (static_cast<const std::atomic<bool> *>(stop)->load() || attempts >= 5000)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 1;
}

} // namespace

// A row read and encoded here, for the other thread to place.
struct IndexReader::Row {
    NoteRecord record; // without its text, which is in `encoded`
    EncodedNote encoded;
};

IndexReader::IndexReader(const QString &path, const std::atomic<bool> &stop, std::size_t budget)
    : path_(path), stop_(stop), budget_(budget)
{
    placer_.setMaxThreadCount(1);
    placer_.setExpiryTimeout(-1); // waits for the next batch while the reader lives
}

IndexReader::~IndexReader()
{
    placer_.waitForDone();
    takeOver();
    sqlite3_finalize(first_);
    sqlite3_finalize(next_);
    if (db_)
        sqlite3_close_v2(db_);
}

std::shared_ptr<IndexReader::Outcome> IndexReader::read(std::unique_ptr<NoteIndex> current)
{
    QElapsedTimer clock;
    clock.start();
    const double cpuAtStart = threadCpuMs();
    updating_ = current != nullptr;
    index_ = updating_ ? std::move(current) : std::make_unique<NoteIndex>();
    if (open()) {
        try {
            readRows();
            finish();
        } catch (const std::bad_alloc &) {
            settleAll();
            out_->kind = Outcome::OverBudget;
            out_->index.reset();
        }
    }
    index_.reset();
    out_->readingMs = msSince(clock);
    out_->readingCpuMs = threadCpuMs() - cpuAtStart;
    return out_;
}

bool IndexReader::open()
{
    db_ = db::openReader(path_, waitUnlessStopped, const_cast<std::atomic<bool> *>(&stop_));
    if (!db_)
        return false;
    // Each page is read once: a cache of the tree's upper pages is enough.
    sqlite3_exec(db_, "PRAGMA cache_size = -1024", nullptr, nullptr, nullptr);
    // The highest bookid (the rowid: a step down the tree) lets the index
    // size its sets for the notes to come.
    if (sqlite3_stmt *last = prepareRows(db_, "select max(bookid) from 企业日记")) {
        if (sqlite3_step(last) == SQLITE_ROW)
            lastId_ = sqlite3_column_int64(last, 0);
        sqlite3_finalize(last);
    }
    first_ = prepareRows(db_, std::string(kNoteRowSql) + " order by bookid");
    next_ = prepareRows(db_, std::string(kNoteRowSql) + " where bookid > ?1 order by bookid");
    out_->kind = first_ && next_ ? Outcome::Done : Outcome::Failed;
    return out_->kind == Outcome::Done;
}

// Reads in turns of a few milliseconds, each one going on after the last
// bookid read, until every row is read or the read cannot go on.
void IndexReader::readRows()
{
    if (!updating_) {
        index_->beginBulk(lastId_);
        for (std::vector<Row> &batch : batches_)
            batch.resize(kRowsPerBatch);
    }
    bool started = false;
    std::int64_t last = 0;
    std::size_t rows = 0;
    while (out_->kind == Outcome::Done) {
        sqlite3_stmt *stmt = started ? next_ : first_;
        if (started)
            sqlite3_bind_int64(stmt, 1, last);
        QElapsedTimer turn;
        turn.start();
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            started = true;
            last = sqlite3_column_int64(stmt, 0);
            ++rows;
            if (!takeRow(stmt))
                break;
            if (db::writerWaiting() ||
                (rows % 16 == 0 && (stop_.load() || msSince(turn) >= kTurnMs)))
                break;
        }
        sqlite3_reset(stmt);
        if (out_->kind != Outcome::Done)
            break;
        if (stop_.load())
            out_->kind = Outcome::Stopped;
        else if (rc == SQLITE_DONE)
            break;
        else if (rc != SQLITE_ROW)
            out_->kind = Outcome::Failed;
    }
}

// False when the index cannot go on.
bool IndexReader::takeRow(sqlite3_stmt *stmt)
{
    if (updating_) {
        const NoteRecord record = noteRecordOf(stmt);
        seen_.push_back(record.bookid);
        if (index_->holds(record))
            return true;
        ++out_->notesTaken;
        if (index_->put(record))
            return true;
        out_->kind = Outcome::Full;
        return false;
    }
    Row &row = batches_[current_][filled_];
    row.record = noteRecordOf(stmt);
    index_->encode(row.record, row.encoded);
    for (FieldText *field : {&row.record.title, &row.record.body, &row.record.time})
        field->bytes = {};
    ++out_->notesTaken;
    return ++filled_ < kRowsPerBatch || passBatch();
}

// Hands the batch just filled to the placing thread, which places the
// batches in the order given, and goes on with the next free one.
bool IndexReader::passBatch()
{
    // While the other thread is more than a batch behind, this one makes
    // the blocks of this batch's notes itself.
    std::vector<Row> &batch = batches_[current_];
    for (std::size_t i = 0; i < filled_ && batchesBehind() >= 2; ++i)
        NoteIndex::pack(batch[i].record.bookid, batch[i].encoded, &arena_);
    std::vector<Row> *rows = &batch;
    BatchResult *result = &results_[current_];
    QSemaphore *placed = &placedOne_[current_];
    const std::size_t count = filled_;
    NoteIndex *into = index_.get();
    pending_[current_] = true;
    startHandedOver(placer_, [this, rows, result, placed, count, into] {
        *result = place(*into, *rows, count);
        if (*result != Placed)
            failed_ = true;
        handOver();
        placed->release();
    });
    current_ = (current_ + 1) % kBatches;
    filled_ = 0;
    return settle(current_);
}

// On the placing thread: places a batch, and every few thousand notes
// measures the index (the one thread that changes it, so the reader goes on).
IndexReader::BatchResult IndexReader::place(NoteIndex &into, std::vector<Row> &rows,
                                            std::size_t count)
{
    try {
        for (std::size_t i = 0; i < count && !failed_.load(); ++i) {
            if (!into.place(rows[i].record, rows[i].encoded))
                return Full;
        }
    } catch (const std::bad_alloc &) {
        return OutOfMemory;
    }
    placed_ += count;
    if (placed_ >= measuredAt_ + kMeasureEveryNotes) {
        measuredAt_ = placed_;
        if (into.memoryBytes() > budget_)
            return OutOfMemory;
    }
    return Placed;
}

// Batches handed over and not yet placed.
int IndexReader::batchesBehind() const
{
    int behind = 0;
    for (int i = 0; i < kBatches; ++i)
        behind += pending_[i] && placedOne_[i].available() == 0 ? 1 : 0;
    return behind;
}

// Waits for `batch` to be placed; false when the index cannot go on.
bool IndexReader::settle(int batch)
{
    if (!pending_[batch])
        return true;
    placedOne_[batch].acquire();
    takeOver();
    pending_[batch] = false;
    if (results_[batch] == Full)
        out_->kind = Outcome::Full;
    else if (results_[batch] == OutOfMemory)
        out_->kind = Outcome::OverBudget;
    return results_[batch] == Placed;
}

// Waits for every batch, oldest first.
bool IndexReader::settleAll()
{
    bool placed = true;
    for (int i = 0; i < kBatches; ++i)
        placed = settle((current_ + i) % kBatches) && placed;
    return placed;
}

void IndexReader::finish()
{
    if (out_->kind == Outcome::Done && filled_ > 0)
        passBatch();
    settleAll();
    if (out_->kind != Outcome::Done)
        return;
    if (updating_)
        index_->keepOnly(seen_);
    else
        index_->endBulk();
    if (index_->memoryBytes() > budget_)
        out_->kind = Outcome::OverBudget;
    else
        out_->index = std::move(index_);
}

} // namespace varnel::search

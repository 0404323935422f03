#include "store/search/backgroundlist.h"

#include "base/appinfo.h"
#include "store/dbengine.h"
#include "store/dberrortext.h"
#include "store/handover.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <thread>

namespace varnel::search
{

struct BackgroundList::Job {
    NoteFilter filter;
    QString path;
    OnRows onRows;
    OnFailure onFailure;
    std::atomic<bool> cancelled{false};
};

namespace
{

// A search stops for a newer one, and lets go of the file while the
// program's own handle waits to write (it then starts over).
int stopWhenCancelled(void *cancelled)
{
    return static_cast<const std::atomic<bool> *>(cancelled)->load() || db::writerWaiting() ? 1 : 0;
}

// A write lock (another program's, or the window's own while it saves) is
// waited for up to a few seconds, unless the search is cancelled first.
int waitUnlessCancelled(void *cancelled, int attempts)
{
    if (static_cast<const std::atomic<bool> *>(cancelled)->load() ||
        attempts * 2 >= 20 * db::kBusyWaitMs)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 1;
}

} // namespace

BackgroundList::BackgroundList(QObject *parent) : QObject(parent)
{
    pool_.setMaxThreadCount(1);
    // No thread is kept waiting: one that outlives the program's end would
    // leave the cipher library's state of that thread behind.
    pool_.setExpiryTimeout(0);
    // SQLite's LIKE recurses once per % of a pattern (up to its pattern limit).
    pool_.setStackSize(16u << 20);
}

// What the reading thread hands to the window's thread: a part of a list, the
// whole of it, or why it failed.
struct BackgroundList::Arrival {
    std::shared_ptr<Job> job;
    Rows rows;
    bool complete = false;
    int rc = SQLITE_OK; // a failure when not SQLITE_OK
    QString statement;
    QString message; // SQLite's, taken on the reading thread
};

BackgroundList::~BackgroundList()
{
    cancel();
    pool_.waitForDone();
    const std::lock_guard lock(readerMutex_);
    if (readerDb_)
        sqlite3_close_v2(readerDb_);
}

void BackgroundList::start(const QString &path, const NoteFilter &filter, OnRows onRows,
                           OnFailure onFailure)
{
    cancel();
    auto job = std::make_shared<Job>();
    job->filter = filter;
    job->filter.text = ownCopy(filter.text);
    job->path = ownCopy(path);
    job->onRows = std::move(onRows);
    job->onFailure = std::move(onFailure);
    current_ = job;
    startHandedOver(pool_, [this, job] { run(job); });
}

void BackgroundList::cancel()
{
    if (current_)
        current_->cancelled = true;
    current_.reset();
}

void BackgroundList::prepare(const QString &path)
{
    startHandedOver(pool_, [this, path = ownCopy(path)] {
        const std::lock_guard lock(readerMutex_);
        reader(path);
    });
}

sqlite3 *BackgroundList::reader(const QString &path)
{
    if (readerDb_ && readerPath_ == path)
        return readerDb_;
    if (readerDb_)
        sqlite3_close_v2(readerDb_);
    readerDb_ = db::openReader(path);
    readerPath_ = readerDb_ ? path : QString();
    return readerDb_;
}

// On the reading thread.
void BackgroundList::run(const std::shared_ptr<Job> &job)
{
    if (job->cancelled)
        return;
    const std::lock_guard lock(readerMutex_);
    sqlite3 *db = reader(job->path);
    if (!db) {
        fail(job, SQLITE_CANTOPEN, QStringLiteral("open"));
        return;
    }
    const QString sql = job->filter.select(QStringLiteral("bookid,处理"));
    sqlite3_progress_handler(db, 1000, stopWhenCancelled, &job->cancelled);
    sqlite3_busy_handler(db, waitUnlessCancelled, &job->cancelled);
    Rows rows;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr);
    const QVariantList params = job->filter.params();
    for (int i = 0; rc == SQLITE_OK && i < params.size(); ++i) {
        const QVariant &value = params.at(i);
        if (value.typeId() == QMetaType::QString) {
            const QByteArray bytes = value.toString().toUtf8();
            rc = sqlite3_bind_text64(stmt, i + 1, bytes.constData(), sqlite3_uint64(bytes.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
            rc = sqlite3_bind_int64(stmt, i + 1, value.toLongLong());
        }
    }
    QElapsedTimer sinceHandOver;
    sinceHandOver.start();
    std::size_t handedOver = 0;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_INTERRUPT && !job->cancelled) {
            // The window's handle is writing: from the top once it is done.
            sqlite3_reset(stmt);
            while (db::writerWaiting() && !job->cancelled)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            rows.clear();
            handedOver = 0;
            rc = SQLITE_OK;
            continue;
        }
        if (rc != SQLITE_ROW)
            break;
        rows.push_back({sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1) == 1});
        if (rows.size() > handedOver && sinceHandOver.elapsed() >= kHandOverMs) {
            deliver(job, rows, false);
            handedOver = rows.size();
            sinceHandOver.restart();
        }
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    sqlite3_busy_handler(db, nullptr, nullptr);
    if (job->cancelled)
        return;
    if (rc == SQLITE_DONE)
        deliver(job, std::move(rows), true);
    else
        fail(job, rc, sql, message);
}

void BackgroundList::deliver(const std::shared_ptr<Job> &job, Rows rows, bool complete)
{
    post({job, std::move(rows), complete, SQLITE_OK, {}, {}});
}

void BackgroundList::fail(const std::shared_ptr<Job> &job, int rc, const QString &statement,
                          const QString &message)
{
    post({job, {}, true, rc, statement, message});
}

// The arrivals wait in a queue under a lock rather than inside queued calls:
// the window's thread then reads nothing the reading thread wrote without
// that lock in between.
void BackgroundList::post(Arrival arrival)
{
    {
        const std::lock_guard lock(arrivalsMutex_);
        arrivals_.push_back(std::move(arrival));
    }
    QMetaObject::invokeMethod(this, "takeArrivals", Qt::QueuedConnection);
}

// On the window's thread.
void BackgroundList::takeArrivals()
{
    std::vector<Arrival> arrived;
    {
        const std::lock_guard lock(arrivalsMutex_);
        arrived.swap(arrivals_);
    }
    for (Arrival &a : arrived) {
        if (a.job != current_)
            continue; // a newer list replaced this one
        if (a.complete)
            current_.reset();
        if (a.rc == SQLITE_OK)
            a.job->onRows(std::move(a.rows), a.complete);
        else
            a.job->onFailure(db::errorFor(a.rc, a.message, a.statement,
                                          QFileInfo(databasePath()).absoluteFilePath()));
    }
}

} // namespace varnel::search

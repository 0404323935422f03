#include "onlinecopy.h"

#include "database.h"
#include "dbengine.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace varnel::db
{

namespace
{

// A turn holds the live handle for about two milliseconds, a few pages or rows
// at a time; the pause after it lets a data operation that waited take the
// handle first.
constexpr auto kTurn = std::chrono::microseconds(2000);
constexpr int kPagesPerStep = 8;
constexpr int kRowsPerStep = 16;
constexpr auto kPause = std::chrono::microseconds(200);
constexpr auto kBusyPause = std::chrono::milliseconds(5);
// Written pages go to the disk now and then, not all at the end.
constexpr int kTurnsPerSync = 64;

using Clock = std::chrono::steady_clock;

std::mutex &registryLock()
{
    static std::mutex lock;
    return lock;
}

std::condition_variable &registryIdle()
{
    static std::condition_variable idle;
    return idle;
}

std::vector<OnlineCopy *> &registry()
{
    static std::vector<OnlineCopy *> copies;
    return copies;
}

QString sqliteText(int rc)
{
    return QString::fromUtf8(sqlite3_errstr(rc));
}

CopyError::Kind kindOf(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
        return CopyError::Full;
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return CopyError::NotWritable;
    default:
        return CopyError::Failed;
    }
}

CopyError::Kind kindOfErrno(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return CopyError::Full;
    if (error == EACCES || error == EPERM || error == EROFS)
        return CopyError::NotWritable;
    return CopyError::Failed;
}

// The file behind a copy, for syncing it while and after it is written.
class FileHandle
{
  public:
    explicit FileHandle(const QString &path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {
    }
    ~FileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // 0, or the errno of the failed sync.
    int sync() const { return fd_ < 0 ? EBADF : (::fsync(fd_) == 0 ? 0 : errno); }

  private:
    int fd_;
};

// The first column of the first row of `sql`, as text; rc tells how it went.
QString firstValue(sqlite3 *db, const char *sql, int *rc, int *rows = nullptr)
{
    sqlite3_stmt *stmt = nullptr;
    QString value;
    *rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    int count = 0;
    while (*rc == SQLITE_OK && (*rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (count++ == 0)
            value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        *rc = SQLITE_OK;
    }
    if (*rc == SQLITE_DONE)
        *rc = SQLITE_OK;
    sqlite3_finalize(stmt);
    if (rows)
        *rows = count;
    return value;
}

} // namespace

CopyError::CopyError(Kind kind, const QString &detail)
    : std::runtime_error(detail.toStdString()), kind_(kind), detail_(detail)
{
}

OnlineCopy::OnlineCopy() : live_(shared())
{
    std::lock_guard lock(registryLock());
    registry().push_back(this);
}

OnlineCopy::~OnlineCopy()
{
    {
        std::lock_guard lock(registryLock());
        auto &copies = registry();
        copies.erase(std::remove(copies.begin(), copies.end(), this), copies.end());
    }
    stop();
    closeTarget();
}

void OnlineCopy::setWorking(bool working)
{
    {
        std::lock_guard lock(registryLock());
        working_ = working;
    }
    registryIdle().notify_all();
}

void OnlineCopy::stop()
{
    {
        std::lock_guard lock(sourceUse_);
        stopped_ = true;
        if (backup_)
            sqlite3_backup_finish(backup_);
        backup_ = nullptr;
        sqlite3_finalize(liveCount_);
        liveCount_ = nullptr;
    }
    std::lock_guard lock(targetUse_);
    if (target_)
        sqlite3_interrupt(target_);
}

bool OnlineCopy::stopped() const
{
    std::lock_guard lock(sourceUse_);
    return stopped_;
}

void OnlineCopy::stopAll()
{
    std::unique_lock lock(registryLock());
    for (OnlineCopy *copy : registry())
        copy->stop();
    registryIdle().wait(lock, []() {
        const auto &copies = registry();
        return std::none_of(copies.begin(), copies.end(),
                            [](const OnlineCopy *c) { return c->working_; });
    });
}

void OnlineCopy::requireRunning() const
{
    if (stopped_)
        throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
}

sqlite3 *OnlineCopy::openTarget(const QString &path, bool create)
{
    sqlite3 *db = nullptr;
    try {
        db = openKeyed(path, create);
    } catch (const DbError &e) {
        if (create)
            throw CopyError(kindOf(e.sqliteCode()), sqliteText(e.sqliteCode()));
        throw CopyError(
            CopyError::CheckFailed,
            QStringLiteral("副本无法用本软件的密码打开（%1）").arg(sqliteText(e.sqliteCode())));
    }
    std::lock_guard lock(targetUse_);
    target_ = db;
    return db;
}

void OnlineCopy::closeTarget()
{
    sqlite3 *db = nullptr;
    {
        std::lock_guard lock(targetUse_);
        std::swap(db, target_);
    }
    if (db)
        sqlite3_close_v2(db);
}

void OnlineCopy::failOnTarget(int rc, const QString &what)
{
    closeTarget();
    if (stopped())
        throw CopyError(CopyError::Stopped, what);
    throw CopyError(kindOf(rc), QStringLiteral("%1（%2）").arg(sqliteText(rc), what));
}

void OnlineCopy::copyTo(const QString &target)
{
    sqlite3 *dest = openTarget(target, true);
    // Nothing but the finished copy counts, so the copy keeps no journal and
    // is synced once at the end. The first write derives the key: done here,
    // before any step holds the live handle.
    int rc = sqlite3_exec(dest,
                          "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
                          "PRAGMA cache_size = 256; PRAGMA user_version = 1;",
                          nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        failOnTarget(rc, QStringLiteral("prepare"));
    {
        std::lock_guard lock(sourceUse_);
        if (stopped_)
            rc = SQLITE_INTERRUPT;
        else if (!(backup_ = sqlite3_backup_init(dest, "main", live_, "main")))
            rc = sqlite3_errcode(dest);
    }
    if (rc != SQLITE_OK)
        failOnTarget(rc, QStringLiteral("backup"));
    const FileHandle file(target);
    try {
        for (int turns = 1; !copyTurn(); ++turns) {
            if (turns % kTurnsPerSync == 0)
                file.sync();
            std::this_thread::sleep_for(kPause);
        }
    } catch (const CopyError &) {
        closeTarget();
        throw;
    }
    closeTarget();
    if (const int error = file.sync())
        throw CopyError(kindOfErrno(error), QString::fromLocal8Bit(std::strerror(error)));
}

// One turn of the copy; true when the copy is complete.
bool OnlineCopy::copyTurn()
{
    int rc;
    bool complete = false;
    {
        std::lock_guard lock(sourceUse_);
        requireRunning();
        sqlite3_mutex *liveLock = sqlite3_db_mutex(live_);
        sqlite3_mutex_enter(liveLock);
        const auto end = Clock::now() + kTurn;
        do
            rc = sqlite3_backup_step(backup_, kPagesPerStep);
        while (rc == SQLITE_OK && Clock::now() < end);
        if (rc == SQLITE_DONE)
            changesAtCopy_ = totalChanges();
        sqlite3_mutex_leave(liveLock);
        if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
            complete = rc == SQLITE_DONE;
            const int finished = sqlite3_backup_finish(backup_);
            backup_ = nullptr;
            rc = complete ? finished : rc;
        }
    }
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        std::this_thread::sleep_for(kBusyPause);
    else if (rc != SQLITE_OK)
        throw CopyError(kindOf(rc), sqliteText(rc));
    return complete;
}

qint64 OnlineCopy::check(const QString &target)
{
    sqlite3 *copy = openTarget(target, false);
    int rc = SQLITE_OK;
    int rows = 0;
    const QString integrity = firstValue(copy, "PRAGMA integrity_check", &rc, &rows);
    if (rc == SQLITE_OK && (integrity != QStringLiteral("ok") || rows != 1)) {
        closeTarget();
        throw CopyError(CopyError::CheckFailed,
                        QStringLiteral("完整性检查没有通过：%1").arg(integrity));
    }
    const qint64 copyNotes =
        rc == SQLITE_OK ? firstValue(copy, "SELECT count(*) FROM 企业日记", &rc).toLongLong() : 0;
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(copy));
        closeTarget();
        if (stopped())
            throw CopyError(CopyError::Stopped, message);
        throw CopyError(CopyError::CheckFailed, QStringLiteral("副本无法读取（%1）").arg(message));
    }
    closeTarget();

    qint64 changes = 0;
    const qint64 liveNotes = countLiveNotes(&changes);
    // Notes saved or deleted since the copy was complete may make the two
    // differ, by at most one per changed row.
    if (std::llabs(liveNotes - copyNotes) > changes - changesAtCopy_) {
        throw CopyError(
            CopyError::CheckFailed,
            QStringLiteral("副本中有 %1 条记事，笔记本中有 %2 条").arg(copyNotes).arg(liveNotes));
    }
    return copyNotes;
}

// Counts the live notes a few rows at a time; `changes` gets the handle's
// change count after the last row.
qint64 OnlineCopy::countLiveNotes(qint64 *changes)
{
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 3; ++attempt) {
        {
            std::lock_guard lock(sourceUse_);
            requireRunning();
            rc = sqlite3_prepare_v2(live_, "SELECT bookid FROM 企业日记", -1, &liveCount_, nullptr);
        }
        qint64 notes = 0;
        while (rc == SQLITE_OK && (rc = countTurn(&notes)) == SQLITE_ROW) {
            rc = SQLITE_OK;
            std::this_thread::sleep_for(kPause);
        }
        std::lock_guard lock(sourceUse_);
        requireRunning();
        sqlite3_finalize(liveCount_);
        liveCount_ = nullptr;
        *changes = totalChanges();
        // A rollback by the program ends the read: count again.
        if (rc == SQLITE_DONE)
            return notes;
    }
    throw CopyError(CopyError::CheckFailed,
                    QStringLiteral("无法数出笔记本中的记事（%1）").arg(sqliteText(rc)));
}

qint64 OnlineCopy::totalChanges() const
{
    sqlite3_mutex *liveLock = sqlite3_db_mutex(live_);
    sqlite3_mutex_enter(liveLock);
    const qint64 changes = sqlite3_total_changes(live_);
    sqlite3_mutex_leave(liveLock);
    return changes;
}

int OnlineCopy::countTurn(qint64 *notes)
{
    std::lock_guard lock(sourceUse_);
    requireRunning();
    const auto end = Clock::now() + kTurn;
    do {
        for (int i = 0; i < kRowsPerStep; ++i) {
            const int rc = sqlite3_step(liveCount_);
            if (rc != SQLITE_ROW)
                return rc;
            ++*notes;
        }
    } while (Clock::now() < end);
    return SQLITE_ROW;
}

} // namespace varnel::db

#include "store/onlinecopy.h"

#include "store/database.h"
#include "store/dbengine.h"
#include "store/dberrortext.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace varnel::db
{

namespace
{

// A turn reads the live handle for about two milliseconds, a few pages or rows
// at a time.
constexpr auto kTurn = std::chrono::microseconds(2000);
constexpr int kPagesPerStep = 8;
constexpr int kRowsPerStep = 16;
constexpr int kCountAttempts = 3;

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

bool isDamage(int rc)
{
    return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
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

QString errnoText(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("磁盘已满");
    if (error == EIO)
        return QStringLiteral("读写磁盘时出错");
    return QStringLiteral("把备份写到磁盘上时出错（错误代码 %1）").arg(error);
}

// 0, or the errno of a failed sync of the file.
int syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

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

// How many problems a check's answer lists: a damaged file answers with
// hundreds of lines (in one row or in many), in SQLite's own words.
int problemsIn(const QString &text, int rows)
{
    return std::max<int>(rows, int(text.count(QLatin1Char('\n'))) + 1);
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

void OnlineCopy::discard()
{
    stop();
    closeTarget();
}

bool OnlineCopy::stopped() const
{
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
    throw CopyError(kindOf(rc), reasonFor(rc));
}

// A statement on the copy's connection ends with SQLITE_INTERRUPT once the
// copy is stopped, however far it is (stop() also interrupts the connection,
// but an interrupt that comes before a statement starts is forgotten).
int OnlineCopy::onProgress(void *self)
{
    return static_cast<const OnlineCopy *>(self)->stopped() ? 1 : 0;
}

// Opens the copy's file and makes it the connection stop() interrupts, before
// the slow derivation of the key. Throws DbError or CopyError::Stopped.
sqlite3 *OnlineCopy::openTarget(const QString &path, bool create)
{
    sqlite3 *db = openFile(path, create);
    sqlite3_progress_handler(db, 1000, &OnlineCopy::onProgress, this);
    {
        std::lock_guard lock(targetUse_);
        target_ = db;
        targetPath_ = path;
    }
    applyKey(db); // on failure the caller closes the target
    if (stopped()) {
        closeTarget();
        throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
    }
    return db;
}

void OnlineCopy::create(const QString &target)
{
    sqlite3 *dest = nullptr;
    try {
        dest = openTarget(target, true);
    } catch (const DbError &e) {
        closeTarget();
        if (stopped())
            throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
        throw CopyError(kindOf(e.sqliteCode()), reasonFor(e.sqliteCode()));
    }
    // Nothing but the finished copy counts, so the copy keeps no journal and
    // is synced once at the end. Its first write derives the key: done here,
    // so that no turn pays for it.
    const int rc = sqlite3_exec(dest,
                                "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
                                "PRAGMA cache_size = 256; PRAGMA user_version = 1;",
                                nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        failOnTarget(rc, QStringLiteral("create"));
}

bool OnlineCopy::turn()
{
    if (!copied_)
        copyTurn();
    else if (!counted_)
        countTurn();
    return counted_;
}

void OnlineCopy::copyTurn()
{
    int rc = SQLITE_OK;
    {
        std::lock_guard lock(sourceUse_);
        requireRunning();
        if (!backup_ && !(backup_ = sqlite3_backup_init(target_, "main", live_, "main")))
            rc = sqlite3_errcode(target_);
        const auto end = Clock::now() + kTurn;
        while (rc == SQLITE_OK && Clock::now() < end)
            rc = sqlite3_backup_step(backup_, kPagesPerStep);
        if (rc == SQLITE_DONE)
            changesAtCopy_ = totalChanges();
        if (backup_ && rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
            const int finished = sqlite3_backup_finish(backup_);
            backup_ = nullptr;
            copied_ = rc == SQLITE_DONE && finished == SQLITE_OK;
            rc = rc == SQLITE_DONE ? finished : rc;
        }
    }
    if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
        throw CopyError(isDamage(rc) ? CopyError::LiveDamaged : kindOf(rc), reasonFor(rc));
}

// Counts the live notes a few rows at a time. A rollback by the program ends
// the read; the count then starts again.
void OnlineCopy::countTurn()
{
    std::lock_guard lock(sourceUse_);
    requireRunning();
    int rc = SQLITE_OK;
    if (!liveCount_) {
        liveNotes_ = 0;
        rc = sqlite3_prepare_v2(live_, "SELECT bookid FROM 企业日记", -1, &liveCount_, nullptr);
    }
    const auto end = Clock::now() + kTurn;
    while (rc == SQLITE_OK && Clock::now() < end) {
        for (int i = 0; i < kRowsPerStep && rc == SQLITE_OK; ++i) {
            rc = sqlite3_step(liveCount_);
            if (rc == SQLITE_ROW) {
                ++liveNotes_;
                rc = SQLITE_OK;
            }
        }
    }
    if (rc == SQLITE_OK)
        return;
    sqlite3_finalize(liveCount_);
    liveCount_ = nullptr;
    if (rc == SQLITE_DONE) {
        changesAtCount_ = totalChanges();
        counted_ = true;
    } else if (isDamage(rc)) {
        throw CopyError(CopyError::LiveDamaged, reasonFor(rc));
    } else if (++countAttempts_ >= kCountAttempts) {
        throw CopyError(CopyError::CheckFailed,
                        QStringLiteral("无法数出笔记本中的记事（%1）").arg(reasonFor(rc)));
    }
}

qint64 OnlineCopy::totalChanges() const
{
    sqlite3_mutex *liveLock = sqlite3_db_mutex(live_);
    sqlite3_mutex_enter(liveLock);
    const qint64 changes = sqlite3_total_changes(live_);
    sqlite3_mutex_leave(liveLock);
    return changes;
}

void OnlineCopy::close()
{
    closeTarget();
    if (stopped())
        throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
    if (const int error = syncFile(targetPath_))
        throw CopyError(kindOfErrno(error), errnoText(error));
}

qint64 OnlineCopy::check(const QString &target, const std::function<void()> &keyed)
{
    if (stopped())
        throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
    sqlite3 *copy = nullptr;
    try {
        copy = openTarget(target, false);
    } catch (const DbError &e) {
        closeTarget();
        if (stopped())
            throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
        throw CopyError(
            CopyError::CheckFailed,
            QStringLiteral("副本无法用本软件的密码打开（%1）").arg(reasonFor(e.sqliteCode())));
    }
    if (keyed)
        keyed();
    int rc = SQLITE_OK;
    int rows = 0;
    const QString integrity = firstValue(copy, "PRAGMA integrity_check", &rc, &rows);
    if (rc == SQLITE_OK && !stopped() && (integrity != QStringLiteral("ok") || rows != 1)) {
        closeTarget();
        throw CopyError(
            CopyError::CheckFailed,
            QStringLiteral("完整性检查发现了 %1 处问题").arg(problemsIn(integrity, rows)));
    }
    const qint64 copyNotes =
        rc == SQLITE_OK && !stopped()
            ? firstValue(copy, "SELECT count(*) FROM 企业日记", &rc).toLongLong()
            : 0;
    closeTarget();
    // A stop at any point above counts as a stop, whatever the copy's
    // statements answered on the way out.
    if (stopped())
        throw CopyError(CopyError::Stopped, QStringLiteral("stopped"));
    if (rc != SQLITE_OK)
        throw CopyError(CopyError::CheckFailed,
                        QStringLiteral("副本无法读取（%1）").arg(reasonFor(rc)));
    // Notes saved or deleted between the copy and the count may make the two
    // differ, by at most one per changed row.
    if (std::llabs(liveNotes_ - copyNotes) > changesAtCount_ - changesAtCopy_) {
        throw CopyError(
            CopyError::CheckFailed,
            QStringLiteral("副本中有 %1 条记事，笔记本中有 %2 条").arg(copyNotes).arg(liveNotes_));
    }
    return copyNotes;
}

} // namespace varnel::db

#include "store/backup/dailybackup.h"

#include "base/appinfo.h"
#include "store/backup/backupcopies.h"
#include "store/backup/backuproom.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "store/onlinecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel
{

namespace
{

constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateFolder = 0700;

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// The time of the file's last change, in nanoseconds; 0 when it has none.
qint64 modifiedNs(const QString &path)
{
    struct stat info {
    };
    if (::stat(native(path).constData(), &info) != 0)
        return 0;
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

void setModifiedNs(const QString &path, qint64 ns)
{
    const timespec times[2] = {{0, UTIME_NOW}, {time_t(ns / 1000000000), long(ns % 1000000000)}};
    ::utimensat(AT_FDCWD, native(path).constData(), times, 0);
}

// Makes a rename in the folder last through a power cut.
void syncFolder(const QString &path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString notWritable(const QString &folder)
{
    return QStringLiteral("没有写入备份文件夹的权限：%1").arg(QDir::toNativeSeparators(folder));
}

QString reasonOf(const db::CopyError &error, const QString &folder)
{
    switch (error.kind()) {
    case db::CopyError::Full:
        return QStringLiteral("磁盘空间不足，备份文件夹 %1 所在的磁盘已经写满。")
            .arg(QDir::toNativeSeparators(folder));
    case db::CopyError::NotWritable:
        return notWritable(folder);
    case db::CopyError::CheckFailed:
        return QStringLiteral("新做的备份没有通过检查（%1），已经删除。").arg(error.detail());
    case db::CopyError::LiveDamaged:
        return QStringLiteral("读取笔记本时发现它已损坏（%1）。").arg(error.detail());
    default:
        return QStringLiteral("备份时出错：%1。").arg(error.detail());
    }
}

DailyBackup::Outcome failed(const QString &reason)
{
    return {DailyBackup::Outcome::Failed, QString(), reason};
}

// The notebook as a check on a connection of its own finds it.
struct Health {
    enum State { Sound, Damaged, Unknown } state = Unknown;
    QString damage; // Chinese, when Damaged
};

Health notebookHealth(const QString &live)
{
    sqlite3 *db = nullptr;
    try {
        db = db::openKeyed(live, false);
    } catch (const DbError &e) {
        if (e.kind() == DbError::NotADatabase)
            return {Health::Damaged, QStringLiteral("文件无法读取")};
        return {}; // missing or locked: not known
    }
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    QString answer;
    int rows = 0;
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const QString line =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        if (rows++ == 0)
            answer = line;
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    switch (rc & 0xff) {
    case SQLITE_DONE:
        if (answer == u"ok" && rows == 1)
            return {Health::Sound, {}};
        return {Health::Damaged,
                QStringLiteral("完整性检查发现了 %1 处问题")
                    .arg(std::max<qsizetype>(rows, answer.count(QLatin1Char('\n')) + 1))};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_INTERRUPT:
    case SQLITE_IOERR:
        return {};
    default: // the check itself met pages it cannot read
        return {Health::Damaged, QStringLiteral("文件中有读不出来的部分")};
    }
}

// Tells stopAll when the worker is done with the copy, however run() ends.
class Working
{
  public:
    explicit Working(db::OnlineCopy &copy) : copy_(copy) { copy_.setWorking(true); }
    ~Working() { copy_.setWorking(false); }

  private:
    db::OnlineCopy &copy_;
};

} // namespace

DailyBackup::DailyBackup(const QDate &today)
    : today_(today), live_(databasePath()), folder_(dataFolder() + QStringLiteral("/backup")),
      copy_(std::make_unique<db::OnlineCopy>())
{
}

// A backup given up half-way (the program ends during the copy) takes its
// unfinished file with it.
DailyBackup::~DailyBackup()
{
    removePartial();
}

void DailyBackup::removePartial()
{
    if (partial_.isEmpty())
        return;
    copy_->discard();
    QFile::remove(partial_);
    partial_.clear();
}

void DailyBackup::stop()
{
    copy_->stop();
}

DailyBackup::Outcome DailyBackup::run()
{
    if (const auto early = begin())
        return *early;
    while (!turn()) {
    }
    return end();
}

std::optional<DailyBackup::Outcome> DailyBackup::begin()
{
    const Working working(*copy_);
    if (const auto early = decide())
        return early;
    // The copy gets the live file's time of change from before the copy: a
    // save made while it is taken makes the next day's copy differ. Deriving
    // the copy's key below takes far longer than the clock's tick.
    changedNs_ = modifiedNs(live_);
    partial_ = folder_ + QLatin1Char('/') + backupcopies::partialName(today_, ::getpid());
    // The copy holds every note: it is made private before anything is in it.
    const int fd = ::open(native(partial_).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                          kPrivateFile);
    if (fd < 0) {
        const int error = errno;
        partial_.clear();
        return failed(error == ENOSPC ? reasonOf({db::CopyError::Full, {}}, folder_)
                                      : notWritable(folder_));
    }
    ::fchmod(fd, kPrivateFile);
    ::close(fd);
    try {
        copy_->create(partial_);
    } catch (const db::CopyError &) {
        return failedCopy(std::current_exception());
    }
    return std::nullopt;
}

std::optional<DailyBackup::Outcome> DailyBackup::decide()
{
    if (copy_->stopped())
        return Outcome::Stopped;
    if (const auto problem = prepareFolder())
        return problem;
    backupcopies::removeUnfinished(folder_);
    const QList<QDate> days = backupcopies::days(folder_);
    if (days.contains(today_))
        return Outcome::AlreadyMade;
    const QString newest = days.isEmpty() ? QString() : backupcopies::copyName(days.first());
    if (!newest.isEmpty() && modifiedNs(folder_ + QLatin1Char('/') + newest) == modifiedNs(live_))
        return Outcome::Unchanged;
    if (::access(native(folder_).constData(), W_OK | X_OK) != 0)
        return failed(notWritable(folder_));
    if (const auto problem = backuproom::makeRoom(folder_, live_))
        return failed(*problem);
    return std::nullopt;
}

// The folder of copies, made private to the user when it is made; copies an
// older version left readable to others become private too.
std::optional<DailyBackup::Outcome> DailyBackup::prepareFolder()
{
    const QFileInfo folder(folder_);
    if (folder.exists() && !folder.isDir()) {
        return failed(QStringLiteral("备份文件夹的位置 %1 上已经有一个同名的文件，不是文件夹。"
                                     "请把这个文件改名或者移走。")
                          .arg(QDir::toNativeSeparators(folder_)));
    }
    if (!folder.exists() && ::mkdir(native(folder_).constData(), kPrivateFolder) != 0 &&
        errno != EEXIST) {
        return failed(QStringLiteral("无法建立备份文件夹 %1（%2）。")
                          .arg(QDir::toNativeSeparators(folder_),
                               errno == ENOSPC ? QStringLiteral("磁盘已满")
                                               : QStringLiteral("data 文件夹不能写入")));
    }
    const QStringList names = QDir(folder_).entryList(QDir::Files);
    for (const QString &name : names) {
        if (!backupcopies::dayOf(name))
            continue;
        const QByteArray path = native(folder_ + QLatin1Char('/') + name);
        struct stat info {
        };
        if (::stat(path.constData(), &info) == 0 && (info.st_mode & 077) != 0)
            ::chmod(path.constData(), info.st_mode & 0700);
    }
    return std::nullopt;
}

bool DailyBackup::turn()
{
    if (error_)
        return true;
    try {
        return copy_->turn();
    } catch (const db::CopyError &) {
        error_ = std::current_exception();
        return true;
    }
}

DailyBackup::Outcome DailyBackup::end()
{
    const Working working(*copy_);
    try {
        if (error_)
            std::rethrow_exception(error_);
        copy_->close();
        if (beforeCheck)
            beforeCheck(partial_);
        copy_->check(partial_, keyed);
    } catch (const db::CopyError &) {
        return failedCopy(std::current_exception());
    }
    setModifiedNs(partial_, changedNs_);
    const QString copy = folder_ + QLatin1Char('/') + backupcopies::copyName(today_);
    if (::rename(native(partial_).constData(), native(copy).constData()) != 0) {
        const int error = errno;
        removePartial();
        return failed(error == ENOSPC ? reasonOf({db::CopyError::Full, {}}, folder_)
                                      : notWritable(folder_));
    }
    partial_.clear();
    syncFolder(folder_);
    removeOldCopies();
    return {Outcome::Made, copy};
}

// Removes what there is of the copy; the outcome for the error.
DailyBackup::Outcome DailyBackup::failedCopy(const std::exception_ptr &error)
{
    removePartial();
    try {
        std::rethrow_exception(error);
    } catch (const db::CopyError &e) {
        switch (e.kind()) {
        case db::CopyError::Stopped:
            return Outcome::Stopped;
        case db::CopyError::Full:
        case db::CopyError::NotWritable:
            return failed(reasonOf(e, folder_));
        default:
            return withNotebookChecked(reasonOf(e, folder_));
        }
    }
}

// A copy that failed for another reason than its own disk may have met a
// damaged notebook: the notebook is checked before anything is said of it.
DailyBackup::Outcome DailyBackup::withNotebookChecked(const QString &reason)
{
    const Health health = notebookHealth(live_);
    if (health.state == Health::Damaged) {
        return {Outcome::LiveDamaged, QString(),
                QStringLiteral("笔记本文件 %1 已损坏：%2。")
                    .arg(QDir::toNativeSeparators(live_), health.damage),
                Outcome::Damaged};
    }
    return {Outcome::Failed, QString(), reason,
            health.state == Health::Sound ? Outcome::CheckedSound : Outcome::Untouched};
}

void DailyBackup::removeOldCopies()
{
    const QList<QDate> days = backupcopies::days(folder_);
    const QList<QDate> keep = backupcopies::daysToKeep(days);
    for (const QDate &day : days) {
        if (!keep.contains(day))
            QFile::remove(folder_ + QLatin1Char('/') + backupcopies::copyName(day));
    }
}

} // namespace varnel

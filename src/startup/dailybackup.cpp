#include "dailybackup.h"

#include "appinfo.h"
#include "backupcopies.h"
#include "onlinecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace varnel
{

namespace
{

// Room a copy leaves on its disk beyond its own size, so that the notebook's
// next saves still fit when both share the disk.
constexpr qint64 kSpareBytes = 1 << 20;

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

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
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
    default:
        return QStringLiteral("备份时出错：%1").arg(error.detail());
    }
}

DailyBackup::Outcome failed(const QString &reason)
{
    return {DailyBackup::Outcome::Failed, QString(), reason};
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
    if (!QDir().mkpath(folder_)) {
        return failed(QStringLiteral("无法建立备份文件夹 %1，请检查 data 文件夹能否写入。")
                          .arg(QDir::toNativeSeparators(folder_)));
    }
    backupcopies::removeUnfinished(folder_);
    const QList<QDate> days = backupcopies::days(folder_);
    if (days.contains(today_))
        return Outcome::AlreadyMade;
    const QString newest = days.isEmpty() ? QString() : backupcopies::copyName(days.first());
    if (!newest.isEmpty() && modifiedNs(folder_ + QLatin1Char('/') + newest) == modifiedNs(live_))
        return Outcome::Unchanged;
    if (::access(native(folder_).constData(), W_OK | X_OK) != 0)
        return failed(notWritable(folder_));
    if (const auto problem = roomProblem())
        return failed(*problem);
    return std::nullopt;
}

std::optional<QString> DailyBackup::roomProblem() const
{
    struct statvfs disk {
    };
    if (::statvfs(native(folder_).constData(), &disk) != 0)
        return std::nullopt;
    const qint64 free = qint64(disk.f_bavail) * qint64(disk.f_frsize);
    const qint64 needed = QFileInfo(live_).size() + kSpareBytes;
    if (free >= needed)
        return std::nullopt;
    return QStringLiteral("磁盘空间不足：备份需要约 %1 MB，备份文件夹 %2 所在的磁盘只剩 %3 MB。")
        .arg(megabytes(needed), QDir::toNativeSeparators(folder_), megabytes(free));
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
        copy_->check(partial_);
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
        if (e.kind() == db::CopyError::Stopped)
            return Outcome::Stopped;
        return failed(reasonOf(e, folder_));
    }
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

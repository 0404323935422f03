#include "store/backup/notebookrestore.h"

#include "base/appinfo.h"
#include "store/backup/backupcopies.h"
#include "store/database.h"
#include "store/dbengine.h"

#include <QDateTime>
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

// The files SQLite keeps beside a database; they belong to it and move with it.
const char *const kCompanions[] = {"-journal", "-wal", "-shm"};

QByteArray restoreNative(const QString &path)
{
    return QFile::encodeName(path);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString backupFolder()
{
    return dataFolder() + QStringLiteral("/backup");
}

// The copy's notes, when it opens, passes its integrity check and reads.
std::optional<qint64> checkedNotes(const QString &path)
{
    sqlite3 *db = nullptr;
    try {
        db = db::openKeyed(path, false);
    } catch (const DbError &) {
        return std::nullopt;
    }
    std::optional<qint64> notes;
    try {
        db::Statement check(db, QStringLiteral("PRAGMA integrity_check"));
        QStringList lines;
        while (check.step())
            lines.append(check.text(0));
        if (lines == QStringList{QStringLiteral("ok")}) {
            db::Statement settings(db, QStringLiteral("select count(*) from 系统用户表"));
            db::Statement count(db, QStringLiteral("select count(*) from 企业日记"));
            if (settings.step() && count.step())
                notes = count.integer(0);
        }
    } catch (const DbError &) {
    }
    sqlite3_close_v2(db);
    return notes;
}

// Writes `from` to the new file `to` with `mode`, on disk when it returns; 0
// or the errno of the failure, and then nothing is left of `to`.
int copyFile(const QString &from, const QString &to, mode_t mode)
{
    const int in = ::open(restoreNative(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(restoreNative(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    int error = out < 0 ? errno : 0;
    char buffer[1 << 16];
    while (error == 0) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            error = errno;
            break;
        }
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            error = put < 0 ? errno : 0;
            done += put < 0 ? 0 : put;
        }
    }
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    if (out >= 0)
        ::close(out);
    ::close(in);
    if (error != 0 && out >= 0)
        ::unlink(restoreNative(to).constData());
    return error;
}

void restoreSyncFolder(const QString &path)
{
    const int fd = ::open(restoreNative(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString errnoText(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("磁盘已满");
    if (error == EACCES || error == EPERM || error == EROFS)
        return QStringLiteral("data 文件夹不能写入");
    return QStringLiteral("文件操作出错（错误代码 %1）").arg(error);
}

// Renames the file at `from` and the files SQLite keeps beside it to `to`
// and the same endings; `moved` gets the new names. 0, or the errno when the
// file itself could not be renamed (and then nothing was).
int moveAside(const QString &from, const QString &to, QStringList *moved)
{
    if (QFileInfo::exists(from)) {
        if (::rename(restoreNative(from).constData(), restoreNative(to).constData()) != 0)
            return errno;
        moved->append(to);
    }
    for (const char *suffix : kCompanions) {
        const QString companion = from + QLatin1String(suffix);
        const QString renamed = to + QLatin1String(suffix);
        if (QFileInfo::exists(companion) &&
            ::rename(restoreNative(companion).constData(), restoreNative(renamed).constData()) == 0)
            moved->append(renamed);
    }
    return 0;
}

mode_t liveMode(const QString &live)
{
    struct stat info {
    };
    if (::stat(restoreNative(live).constData(), &info) != 0)
        return 0600;
    return info.st_mode & 0777;
}

} // namespace

std::optional<NotebookRestore::Copy> NotebookRestore::newestGoodCopy()
{
    const QList<QDate> days = backupcopies::days(backupFolder());
    for (const QDate &day : days) {
        const QString path = backupFolder() + QLatin1Char('/') + backupcopies::copyName(day);
        if (const auto notes = checkedNotes(path))
            return Copy{day, path, *notes};
    }
    return std::nullopt;
}

NotebookRestore::Result NotebookRestore::restore(const Copy &copy)
{
    ShutdownDb();
    const QString live = databasePath();
    const QString incoming = live + QStringLiteral(".restoring");
    QFile::remove(incoming); // left by a restore that was stopped
    if (const int error = copyFile(copy.path, incoming, liveMode(live))) {
        return {false, QStringLiteral("无法把备份复制到 data 文件夹：%1。笔记本文件没有改动。")
                           .arg(errnoText(error))};
    }
    const QString aside =
        dataFolder() +
        QStringLiteral("/pelbrook_data-damaged-%1.Tandrel")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QStringList moved;
    if (const int error = moveAside(live, aside, &moved)) {
        QFile::remove(incoming);
        return {
            false,
            QStringLiteral("无法把损坏的文件改名：%1。笔记本文件没有改动。").arg(errnoText(error))};
    }
    ::rename(restoreNative(incoming).constData(), restoreNative(live).constData());
    restoreSyncFolder(dataFolder());

    const auto notes = checkedNotes(live);
    const QString kept = moved.isEmpty()
                             ? QString()
                             : QStringLiteral("\n\n损坏的文件没有删除，改名保存为：\n%1")
                                   .arg(shown(moved.join(QLatin1Char('\n'))));
    if (!notes) {
        return {false, QStringLiteral("备份 %1 放到了笔记本的位置，但是打开后没有通过检查。%2")
                           .arg(shown(copy.path), kept)};
    }
    return {true, QStringLiteral("已经用 %1 的备份恢复了笔记本，其中有 %2 条记事。%3\n\n"
                                 "笔记本回到了那一天的样子：那天以后的改动不在其中，"
                                 "启动密码也是那一天的密码。")
                      .arg(copy.day.toString(Qt::ISODate))
                      .arg(*notes)
                      .arg(kept)};
}

QString NotebookRestore::offerText(const QString &what, const std::optional<Copy> &copy)
{
    if (!copy) {
        return QStringLiteral("%1\n\n备份文件夹 %2 中没有可以用来恢复的完好备份。")
            .arg(what, shown(backupFolder()));
    }
    return QStringLiteral("%1\n\n备份文件夹 %2 中最新的完好备份是 %3 的，其中有 %4 条记事。\n"
                          "要用这份备份恢复笔记本吗？\n\n"
                          "恢复时，损坏的文件和它的日志文件会改名留在 data 文件夹中，不会删除。"
                          "选“否”则一切保持原样。")
        .arg(what, shown(backupFolder()), copy->day.toString(Qt::ISODate))
        .arg(copy->notes);
}

} // namespace varnel

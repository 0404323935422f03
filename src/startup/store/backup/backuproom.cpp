#include "store/backup/backuproom.h"

#include "store/backup/backupcopies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace varnel::backuproom
{

namespace
{

dev_t deviceOf(const QString &path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : dev_t(-1);
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
}

QString copyPath(const QString &folder, const QDate &day)
{
    return folder + QLatin1Char('/') + backupcopies::copyName(day);
}

} // namespace

qint64 freeBytes(const QString &folder)
{
    struct statvfs disk {
    };
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0)
        return -1;
    return qint64(disk.f_bavail) * qint64(disk.f_frsize);
}

qint64 needed(const QString &folder, const QString &live)
{
    const qint64 size = QFileInfo(live).size();
    const bool sameDisk = deviceOf(folder) == deviceOf(QFileInfo(live).absolutePath());
    return size + (sameDisk ? size + kNotebookMargin : kSpareBytes);
}

std::optional<QString> makeRoom(const QString &folder, const QString &live)
{
    qint64 free = freeBytes(folder);
    if (free < 0)
        return std::nullopt;
    const qint64 need = needed(folder, live);
    if (free >= need)
        return std::nullopt;
    // Oldest first, all but the newest.
    QList<QDate> days = backupcopies::days(folder);
    QList<QDate> removable = days.mid(1);
    std::reverse(removable.begin(), removable.end());
    qint64 gain = 0;
    int enough = -1;
    for (int i = 0; i < removable.size() && enough < 0; ++i) {
        gain += QFileInfo(copyPath(folder, removable.at(i))).size();
        if (free + gain >= need)
            enough = i;
    }
    if (enough < 0) {
        return QStringLiteral("磁盘空间不足：备份需要约 %1 MB（其中为笔记本本身留出 %2 MB），"
                              "备份文件夹 %3 所在的磁盘只剩 %4 MB。")
            .arg(megabytes(need), megabytes(need - QFileInfo(live).size()),
                 QDir::toNativeSeparators(folder), megabytes(free));
    }
    for (int i = 0; i <= enough; ++i)
        QFile::remove(copyPath(folder, removable.at(i)));
    free = freeBytes(folder);
    if (free >= 0 && free < need) // the file system keeps more than the files' sizes
        return makeRoom(folder, live);
    return std::nullopt;
}

} // namespace varnel::backuproom

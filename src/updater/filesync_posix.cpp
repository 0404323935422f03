// Linux: sync_file_range starts the write-back early so that the final
// fsync has little left to wait for; flock marks a staged file in use.

#include "filesync.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filesync
{

void startWriteBack(int fd, qint64 offset, qint64 length)
{
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

int syncFile(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot sync a folder; their renames are as safe as
    // they get.
    return result == EINVAL ? 0 : result;
}

void markInUse(int fd)
{
    ::flock(fd, LOCK_EX | LOCK_NB);
}

bool unused(const QString &path)
{
    // Non-blocking: whatever the name turns out to be, opening it must not
    // wait (a FIFO would wait for a writer).
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT;
    struct stat info = {};
    const bool free =
        ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

bool isRegularFile(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

int replacementMode(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0755;
    mode_t mode = (info.st_mode & 0755) | S_IRWXU;
    // Whoever may read a program may run it, as before the update.
    if (mode & S_IRGRP)
        mode |= S_IXGRP;
    if (mode & S_IROTH)
        mode |= S_IXOTH;
    return int(mode);
}

} // namespace filesync

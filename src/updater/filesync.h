#pragma once

#include <QString>

// Getting a new file onto the disk and keeping other processes' files alone;
// one backend per platform (filesync_posix.cpp).
namespace filesync
{

// Starts writing that part of the open file to the disk, without waiting.
void startWriteBack(int fd, qint64 offset, qint64 length);
// Waits until the open file's data are on the disk: 0, or the errno.
int syncFile(int fd);
// Waits until the folder's entries (such as a file just renamed into it)
// are on the disk: 0, or the errno.
int syncFolder(const QString &folder);
// Marks the open file as in use by this process for as long as it is open.
void markInUse(int fd);
// False while another process has the file at path marked in use, and for
// anything but a plain file; never waits.
bool unused(const QString &path);
// A plain file, not a link, folder, FIFO, socket or device.
bool isRegularFile(const QString &path);
// The permission bits for a new program that replaces the one at path: the
// old file's, without group and world write, always readable, writable and
// runnable by its owner, and runnable by whoever may read it; 0755 when
// there is no old file.
int replacementMode(const QString &path);

} // namespace filesync

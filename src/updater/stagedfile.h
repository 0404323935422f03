#pragma once

#include "contentdigest.h"

#include <QString>
#include <QTemporaryFile>

// A body being received, kept in a temporary file in the destination's
// folder (".<name>.XXXXXX.part", unnamed where the file system allows) so
// that it can replace the destination in one atomic rename. The temporary
// file is removed when the object goes away uncommitted, and is marked in
// use while it exists so that removeLeftovers() of another process leaves it
// alone.
class StagedFile
{
  public:
    // destination empty: stage in the system's temporary folder.
    explicit StagedFile(const QString &destination);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    bool isOpen() const { return open_; }
    QString errorString() const { return error_; }
    qint64 size() const { return written_; }

    bool write(const QByteArray &bytes);
    // The ContentDigest of what has been written.
    QByteArray digest() const { return digest_.result(); }
    // The body so far, for reading it back; its position is the reader's.
    QIODevice &device() { return file_; }
    // Writes the file to the disk, gives it the old file's permission bits
    // (filesync::replacementMode), renames it over
    // destination and writes the folder to the disk. Afterwards the staged
    // file is gone either way: committed, or removed when anything failed
    // (destination then is as it was).
    bool commit(const QString &destination);

    // Removes the staged files that earlier runs left beside destination
    // (killed before they could clean up); returns how many.
    static int removeLeftovers(const QString &destination);

  private:
    void startWriteBack();
    bool rename(const QString &destination);

    QTemporaryFile file_;
    bool open_ = false;
    qint64 written_ = 0;
    qint64 writtenBack_ = 0; // what startWriteBack() has handed to the disk
    QString error_;
    ContentDigest digest_; // taken as the body arrives, so that no check reads it all again
};

#pragma once

#include <QString>
#include <QTemporaryFile>

// A body being received, kept in a temporary file in the destination's
// folder so that it can replace the destination in one atomic rename. The
// temporary file is removed when the object goes away uncommitted.
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
    QString path() const { return file_.fileName(); }
    qint64 size() const { return written_; }

    bool write(const QByteArray &bytes);
    // Flushes, makes the file executable and renames it over
    // destination. Afterwards the staged file is gone either way: committed,
    // or removed when anything failed (destination then is as it was).
    bool commit(const QString &destination);

  private:
    QTemporaryFile file_;
    bool open_ = false;
    qint64 written_ = 0;
    QString error_;
};

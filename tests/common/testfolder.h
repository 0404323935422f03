#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private world for one test: a temporary program folder with a freshly
// provisioned data folder, made the notebook's program folder, and private
// XDG config and runtime folders. Restores nothing of the user's: it never
// touched it.
class TestFolder
{
  public:
    explicit TestFolder(bool provision = true);
    ~TestFolder();

    QString path() const { return dir_.path(); }
    QString file(const QString &relative) const { return dir_.filePath(relative); }
    bool ok() const { return ok_; }

    // Runs one SQL statement straight on the database, outside the data layer.
    static void exec(const QString &sql);
    static QVariant scalar(const QString &sql);

  private:
    QTemporaryDir dir_;
    bool ok_ = false;
};

// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray fileContents(const QString &path);

// Keys the database file at `path` with another password than the program's,
// as a database from elsewhere would be. Throws DbError when it cannot be opened.
bool rekeyDatabase(const QString &path);

#pragma once

#include "store/backup/backgroundbackup.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// What the backup tests look at: the files of data/backup and what a copy
// holds, read with the notebook's key.
namespace backupfiles
{

// data/backup of the current program folder.
QString folder();
// Every file of a folder with its bytes, to tell that nothing changed.
QMap<QString, QByteArray> contents(const QString &folder);
bool writeFile(const QString &path, const QByteArray &bytes);
// The unfinished copies (*.partial) in a folder.
QStringList partials(const QString &folder);

// Opens a copy with the key: its integrity check (joined lines, "ok" when
// sound) and the bookids of its notes in order. Empty and a message when it
// cannot be opened.
struct CopyView {
    QString integrity;
    QList<qint64> bookids;
};
CopyView view(const QString &copy);

// Adds `count` notes in one transaction, bodies of about `bodyLength`
// characters, through the data layer.
void addNotes(int count, int bodyLength, const QString &titlePrefix = QStringLiteral("笔记"));

// The day's backup, made on the calling thread.
varnel::DailyBackup::Outcome runBackup(const QDate &day,
                                       std::function<void(const QString &)> beforeCheck = {});

// A background backup started at once; outcome is set when it is over.
class Started
{
  public:
    explicit Started(const QDate &day);
    // Processes events until the backup is over; false after `ms`.
    bool wait(int ms = 30000);
    varnel::BackgroundBackup backup;
    std::optional<varnel::DailyBackup::Outcome> outcome;
};

} // namespace backupfiles

#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// The folder of daily copies of the notebook, data/backup: how copies are
// named, which of them to keep, and the unfinished copies a stopped program
// leaves behind.
//
//     pelbrook_data-2024-05-17.Tandrel          the checked copy of that day
//     pelbrook_data-2024-05-17.<pid>.partial    a copy being written or checked
namespace varnel::backupcopies
{

QString copyName(const QDate &day);
// The day of a copy's file name; nothing for any other name.
std::optional<QDate> dayOf(const QString &fileName);
// The name a copy of `day` is written under until it has been checked.
QString partialName(const QDate &day, qint64 processId);

// The days of the checked copies in `folder`, newest first.
QList<QDate> days(const QString &folder);

// Which copies stay, newest first: the seven newest, and of each of the four
// calendar weeks (Monday to Sunday) before the week of the oldest of those,
// the newest copy. All other copies go.
QList<QDate> daysToKeep(QList<QDate> days);

// Removes unfinished copies (and journals of them) a program that was stopped
// left in `folder`. Returns how many files it removed.
int removeUnfinished(const QString &folder);

} // namespace varnel::backupcopies

#pragma once

#include "store/backup/dailybackup.h"

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace varnel
{

// One day's backup while the program goes on (BackupSchedule says when): the slow
// parts on a worker thread of its own pool, the reading of the live database in
// short turns of this thread's event loop. Whoever started it hears how it ended.
class BackgroundBackup : public QObject
{
    Q_OBJECT

  public:
    // Throws DbError when the notebook cannot be opened.
    explicit BackgroundBackup(const QDate &today, QObject *parent = nullptr);
    ~BackgroundBackup() override; // stops the backup and waits for the worker

    void start();

  signals:
    void finished(const varnel::DailyBackup::Outcome &outcome);

  private:
    void onBegun();
    void onTurn();
    void onEnded();

    std::unique_ptr<DailyBackup> job_;
    // One thread, given way to by everything else, that runs only this backup.
    QThreadPool worker_;
    QFutureWatcher<std::optional<DailyBackup::Outcome>> begun_;
    QFutureWatcher<DailyBackup::Outcome> ended_;
    QTimer turns_;
};

} // namespace varnel

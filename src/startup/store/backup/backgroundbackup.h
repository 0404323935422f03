#pragma once

#include "store/backup/dailybackup.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <thread>

namespace varnel
{

// One day's backup while the program goes on (BackupSchedule says when): the slow
// parts on a worker thread, the reading of the live database in short turns
// of this thread's event loop. Whoever started it hears how it ended.
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
    void onBegun(const std::optional<DailyBackup::Outcome> &early);
    void onTurn();
    void onFinished(const DailyBackup::Outcome &outcome);
    void onWorker(std::function<void()> work);
    void joinWorker();

    std::unique_ptr<DailyBackup> job_;
    std::thread worker_;
    QTimer turns_;
};

} // namespace varnel

#pragma once

#include "dailybackup.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <thread>

namespace varnel
{

// The day's backup while the program goes on, once per program run: the slow
// parts on a worker thread, the reading of the live database in short turns
// of this thread's event loop. When it fails the user is told once per run,
// in a message box that does not wait for an answer.
class BackgroundBackup : public QObject
{
    Q_OBJECT

  public:
    // Starts the backup of the live notebook for today's date; the object
    // belongs to the application and goes when the backup is over. Nothing
    // starts when the notebook cannot be opened.
    static BackgroundBackup *startToday();

    explicit BackgroundBackup(const QDate &today, QObject *parent = nullptr);
    ~BackgroundBackup() override; // stops the backup and waits for the worker

    void start();

    // The one message per run, shown unless one was shown already.
    static void tellFailure(const QString &reason);

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

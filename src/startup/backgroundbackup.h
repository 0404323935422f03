#pragma once

#include "dailybackup.h"

#include <QObject>

#include <memory>
#include <thread>

namespace varnel
{

// The day's backup made on a worker thread while the program goes on, once
// per program run. When it fails the user is told once per run, in a message
// box that does not wait for an answer.
class BackgroundBackup : public QObject
{
    Q_OBJECT

  public:
    // Starts the backup of the live notebook for today's date; the object
    // belongs to the application and goes when the backup is over. Nothing
    // starts when the notebook cannot be opened.
    static BackgroundBackup *startToday();

    BackgroundBackup(const QDate &today, QObject *parent = nullptr);
    ~BackgroundBackup() override; // stops the backup and waits for the worker

    void start();
    DailyBackup &job() { return *job_; }

    // The one message per run, shown unless one was shown already.
    static void tellFailure(const QString &reason);

  signals:
    void finished(const varnel::DailyBackup::Outcome &outcome);

  private:
    void onFinished(const DailyBackup::Outcome &outcome);

    std::unique_ptr<DailyBackup> job_;
    std::thread worker_;
};

} // namespace varnel

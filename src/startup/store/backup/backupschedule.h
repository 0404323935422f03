#pragma once

#include "store/backup/dailybackup.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace varnel
{

class BackgroundBackup;

// The daily backups of a running program: the day's copy at the start, and
// for a program left running past midnight (or for days) the new day's copy
// at the first idle moment of that day, once the user has left keyboard and
// mouse alone for a few seconds. Each day's backup follows the rules of
// DailyBackup; `finished` says how each one ended.
class BackupSchedule : public QObject
{
    Q_OBJECT

  public:
    using Clock = std::function<QDateTime()>;

    // clock: the local time; the system clock when empty.
    explicit BackupSchedule(Clock clock = {}, QObject *parent = nullptr);
    ~BackupSchedule() override;

    void start();

    // How long the user must have left the program alone (default 5 s), and
    // the longest time between two looks at the clock (default 1 min).
    void setIdleMs(int ms) { idleMs_ = ms; }
    void setCheckIntervalMs(int ms) { checkMs_ = ms; }
    // The day of the newest backup started, invalid before the first.
    QDate lastDay() const { return lastDay_; }

  signals:
    void started(const QDate &day);
    void finished(const varnel::DailyBackup::Outcome &outcome);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void check();
    void planNextCheck();
    void startFor(const QDate &day);

    Clock clock_;
    QTimer timer_;
    QElapsedTimer sinceInput_;
    QPointer<BackgroundBackup> running_;
    QDate lastDay_;
    int idleMs_ = 5000;
    int checkMs_ = 60000;
};

} // namespace varnel

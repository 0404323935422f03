#include "store/backup/backupschedule.h"

#include "store/backup/backgroundbackup.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

namespace varnel
{

namespace
{

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

} // namespace

BackupSchedule::BackupSchedule(Clock clock, QObject *parent)
    : QObject(parent), clock_(clock ? std::move(clock) : Clock(&QDateTime::currentDateTime))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &BackupSchedule::check);
    sinceInput_.start();
    qApp->installEventFilter(this);
}

BackupSchedule::~BackupSchedule()
{
    delete running_.data(); // stops a copy under way
}

void BackupSchedule::start()
{
    startFor(clock_().date());
    planNextCheck();
}

bool BackupSchedule::eventFilter(QObject *watched, QEvent *event)
{
    if (isUserInput(event->type()))
        sinceInput_.restart();
    return QObject::eventFilter(watched, event);
}

// The next look at the clock: soon after midnight, and at least every
// interval (the clock may be set, the machine may sleep).
void BackupSchedule::planNextCheck()
{
    const QDateTime now = clock_();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0));
    const qint64 toMidnight = now.msecsTo(midnight) + 500;
    timer_.start(int(std::clamp<qint64>(toMidnight, 10, checkMs_)));
}

void BackupSchedule::check()
{
    const QDate today = clock_().date();
    if (today != lastDay_ && !running_) {
        if (sinceInput_.elapsed() >= idleMs_) {
            startFor(today);
        } else {
            // The user is at work: look again once the idle time may be over.
            timer_.start(int(std::max<qint64>(idleMs_ - sinceInput_.elapsed(), 10)));
            return;
        }
    }
    planNextCheck();
}

void BackupSchedule::startFor(const QDate &day)
{
    lastDay_ = day;
    BackgroundBackup *backup = nullptr;
    try {
        backup = new BackgroundBackup(day, this);
    } catch (const DbError &) {
        // The notebook cannot be opened: the start-up or the window that
        // needs it tells the user; the next day tries again.
        return;
    }
    running_ = backup;
    connect(backup, &BackgroundBackup::finished, this,
            [this, backup](const DailyBackup::Outcome &outcome) {
                backup->deleteLater();
                emit finished(outcome);
            });
    emit started(day);
    backup->start();
}

} // namespace varnel

#include "store/backup/backgroundbackup.h"

#include "store/database.h"

#include <QtConcurrent/QtConcurrentRun>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace varnel
{

namespace
{

// Between two turns the event loop gets at least this long for the user.
constexpr int kTurnIntervalMs = 1;

// The worker's slow parts (deriving the copy's key, syncing and checking
// hundreds of megabytes) give way to everything else for the processor and
// the disk: on a machine with two cores the window's thread, the search
// index's helper and the worker would otherwise take equal turns, and the
// window would wait for its turn. Not the idle class: the worker takes
// SQLite's and the cipher's shared locks, and a worker that seldom runs
// would keep the window waiting on one of them.
void yieldToEverythingElse()
{
    ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 19);
    constexpr int kWhoThread = 1; // IOPRIO_WHO_PROCESS: with 0, the calling thread
    constexpr int kLowestBestEffort = (2 << 13) | 7; // IOPRIO_CLASS_BE, level 7
    ::syscall(SYS_ioprio_set, kWhoThread, 0, kLowestBestEffort);
}

} // namespace

BackgroundBackup::BackgroundBackup(const QDate &today, QObject *parent)
    : QObject(parent), job_(std::make_unique<DailyBackup>(today))
{
    worker_.setMaxThreadCount(1);
    turns_.setInterval(kTurnIntervalMs);
    connect(&turns_, &QTimer::timeout, this, &BackgroundBackup::onTurn);
    connect(&begun_, &QFutureWatcherBase::finished, this, &BackgroundBackup::onBegun);
    connect(&ended_, &QFutureWatcherBase::finished, this, &BackgroundBackup::onEnded);
}

// A result the worker hands over while this waits is dropped with the watchers.
BackgroundBackup::~BackgroundBackup()
{
    job_->stop();
    worker_.waitForDone();
}

void BackgroundBackup::start()
{
    begun_.setFuture(QtConcurrent::run(&worker_, [this]() {
        yieldToEverythingElse();
        return job_->begin();
    }));
}

void BackgroundBackup::onBegun()
{
    const std::optional<DailyBackup::Outcome> early = begun_.result();
    if (early)
        emit finished(*early);
    else
        turns_.start();
}

void BackgroundBackup::onTurn()
{
    if (!job_->turn())
        return;
    turns_.stop();
    ended_.setFuture(QtConcurrent::run(&worker_, [this]() {
        yieldToEverythingElse();
        return job_->end();
    }));
}

void BackgroundBackup::onEnded()
{
    emit finished(ended_.result());
}

} // namespace varnel

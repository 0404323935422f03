#include "store/backup/backgroundbackup.h"

#include "store/database.h"

#include <QCoreApplication>

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
    turns_.setInterval(kTurnIntervalMs);
    connect(&turns_, &QTimer::timeout, this, &BackgroundBackup::onTurn);
}

BackgroundBackup::~BackgroundBackup()
{
    job_->stop();
    joinWorker();
}

void BackgroundBackup::joinWorker()
{
    if (worker_.joinable())
        worker_.join();
}

// Runs `work` on the worker thread; it reports back through a queued call.
void BackgroundBackup::onWorker(std::function<void()> work)
{
    joinWorker();
    worker_ = std::thread([work = std::move(work)]() {
        yieldToEverythingElse();
        work();
    });
}

void BackgroundBackup::start()
{
    onWorker([this]() {
        const std::optional<DailyBackup::Outcome> early = job_->begin();
        QMetaObject::invokeMethod(
            this, [this, early]() { onBegun(early); }, Qt::QueuedConnection);
    });
}

void BackgroundBackup::onBegun(const std::optional<DailyBackup::Outcome> &early)
{
    joinWorker();
    if (early)
        onFinished(*early);
    else
        turns_.start();
}

void BackgroundBackup::onTurn()
{
    if (!job_->turn())
        return;
    turns_.stop();
    onWorker([this]() {
        const DailyBackup::Outcome outcome = job_->end();
        QMetaObject::invokeMethod(
            this, [this, outcome]() { onFinished(outcome); }, Qt::QueuedConnection);
    });
}

void BackgroundBackup::onFinished(const DailyBackup::Outcome &outcome)
{
    joinWorker();
    emit finished(outcome);
}

} // namespace varnel

#include "backgroundbackup.h"

#include "database.h"
#include "notebookrestore.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace varnel
{

namespace
{

// Between two turns the event loop gets at least this long for the user.
constexpr int kTurnIntervalMs = 1;

bool g_failureTold = false;

// A reason longer than this is cut: the message box must fit on the screen.
constexpr int kReasonChars = 300;

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

QString bounded(const QString &text)
{
    return text.size() <= kReasonChars ? text : text.left(kReasonChars) + QStringLiteral("……");
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
    if (outcome.kind == DailyBackup::Outcome::Failed ||
        outcome.kind == DailyBackup::Outcome::LiveDamaged)
        tellFailure(outcome);
    emit finished(outcome);
}

QString BackgroundBackup::failureText(const DailyBackup::Outcome &outcome)
{
    if (outcome.kind == DailyBackup::Outcome::LiveDamaged)
        return QStringLiteral("备份时发现笔记本已经损坏，没有做新的备份。\n\n%1")
            .arg(bounded(outcome.reason));
    const QString notebook =
        outcome.notebook == DailyBackup::Outcome::CheckedSound
            ? QStringLiteral("笔记本经过检查是完好的，原有的备份也都还在。")
            : QStringLiteral("备份只读取笔记本，没有改动它；原有的备份也都还在。");
    return QStringLiteral("今天的自动备份没有做成。\n\n原因：%1\n\n%2\n"
                          "Varnelpad 明天或者下次启动时会再试一次。")
        .arg(bounded(outcome.reason), notebook);
}

void BackgroundBackup::tellFailure(const DailyBackup::Outcome &outcome)
{
    if (g_failureTold)
        return;
    g_failureTold = true;
    if (outcome.kind == DailyBackup::Outcome::LiveDamaged) {
        NotebookRestore::offerLater(failureText(outcome));
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Varnel提示"),
                                failureText(outcome), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("backupFailed"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

} // namespace varnel

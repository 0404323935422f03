#include "backgroundbackup.h"

#include "database.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace varnel
{

namespace
{

// Between two turns the event loop gets at least this long for the user.
constexpr int kTurnIntervalMs = 1;

bool g_failureTold = false;

} // namespace

BackgroundBackup *BackgroundBackup::startToday()
{
    try {
        auto *backup = new BackgroundBackup(QDate::currentDate(), qApp);
        QObject::connect(backup, &BackgroundBackup::finished, backup, &QObject::deleteLater);
        backup->start();
        return backup;
    } catch (const DbError &) {
        // The start-up has told the user about the database already.
        return nullptr;
    }
}

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
    worker_ = std::thread(std::move(work));
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
    if (outcome.kind == DailyBackup::Outcome::Failed)
        tellFailure(outcome.reason);
    emit finished(outcome);
}

void BackgroundBackup::tellFailure(const QString &reason)
{
    if (g_failureTold)
        return;
    g_failureTold = true;
    auto *box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("Varnel提示"),
        QStringLiteral("今天的自动备份没有做成。\n\n原因：%1\n\n笔记本身没有受到影响，"
                       "原有的备份也都还在。下次启动 Varnelpad 时会再试一次。")
            .arg(reason),
        QMessageBox::Ok);
    box->setObjectName(QStringLiteral("backupFailed"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

} // namespace varnel

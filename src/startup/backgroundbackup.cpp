#include "backgroundbackup.h"

#include "database.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace varnel
{

namespace
{
bool g_failureTold = false;
}

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
}

BackgroundBackup::~BackgroundBackup()
{
    job_->stop();
    if (worker_.joinable())
        worker_.join();
}

void BackgroundBackup::start()
{
    worker_ = std::thread([this]() {
        const DailyBackup::Outcome outcome = job_->run();
        QMetaObject::invokeMethod(
            this, [this, outcome]() { onFinished(outcome); }, Qt::QueuedConnection);
    });
}

void BackgroundBackup::onFinished(const DailyBackup::Outcome &outcome)
{
    if (worker_.joinable())
        worker_.join();
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

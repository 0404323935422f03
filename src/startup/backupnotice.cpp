#include "backupnotice.h"

#include "restoreoffer.h"

#include <QMessageBox>

namespace varnel
{

namespace
{

bool g_failureTold = false;

// A reason longer than this is cut: the message box must fit on the screen.
constexpr int kReasonChars = 300;

QString bounded(const QString &text)
{
    return text.size() <= kReasonChars ? text : text.left(kReasonChars) + QStringLiteral("……");
}

} // namespace

QString BackupNotice::failureText(const DailyBackup::Outcome &outcome)
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

void BackupNotice::tell(const DailyBackup::Outcome &outcome)
{
    if (outcome.kind != DailyBackup::Outcome::Failed &&
        outcome.kind != DailyBackup::Outcome::LiveDamaged)
        return;
    if (g_failureTold)
        return;
    g_failureTold = true;
    if (outcome.kind == DailyBackup::Outcome::LiveDamaged) {
        RestoreOffer::offerLater(failureText(outcome));
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

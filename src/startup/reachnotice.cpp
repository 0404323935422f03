#include "reachnotice.h"

#include <QMessageBox>

namespace varnel
{

namespace
{
bool g_toldNoTray = false;
bool g_toldNoHotKey = false;
const QString kTitle = QStringLiteral("Varnel提示");
} // namespace

QString ReachNotice::text(bool trayIcon, bool hotKey)
{
    if (trayIcon && hotKey)
        return QString();
    if (hotKey)
        return QStringLiteral("托盘图标不可用。Varnel 仍在运行，按 Ctrl+1 可以重新打开主窗口。");
    if (trayIcon)
        return QStringLiteral("全局热键 Ctrl+1 不可用（可能已被其他程序占用，或桌面不支持）。"
                              "Varnel 仍在运行，点击托盘图标可以重新打开主窗口。");
    return QStringLiteral("托盘图标和全局热键 Ctrl+1 都不可用。主窗口只能最小化，不能隐藏；"
                          "关闭主窗口即退出 Varnel。");
}

bool ReachNotice::due(bool trayIcon, bool hotKey)
{
    const bool due = (!trayIcon && !g_toldNoTray) || (!hotKey && !g_toldNoHotKey);
    g_toldNoTray = g_toldNoTray || !trayIcon;
    g_toldNoHotKey = g_toldNoHotKey || !hotKey;
    return due;
}

void ReachNotice::tellOnce(QWidget *parent, bool trayIcon, bool hotKey)
{
    if (due(trayIcon, hotKey))
        QMessageBox::information(parent, kTitle, text(trayIcon, hotKey));
}

QMessageBox *ReachNotice::showOnce(QWidget *parent, bool trayIcon, bool hotKey)
{
    if (!due(trayIcon, hotKey))
        return nullptr;
    auto *box = new QMessageBox(QMessageBox::Information, kTitle, text(trayIcon, hotKey),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    return box;
}

void ReachNotice::forget()
{
    g_toldNoTray = false;
    g_toldNoHotKey = false;
}

} // namespace varnel

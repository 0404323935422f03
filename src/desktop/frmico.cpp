#include "frmico.h"

#include "appwindows.h"
#include "desktopart.h"
#include "globalhotkey.h"
#include "quitsignals.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

namespace
{
const QString kTip = QStringLiteral("【Ctrl+1】或【点击左键】呼叫Varnel");
} // namespace

Frmico::Frmico(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("Frmico"));
    setWindowTitle(QStringLiteral("Varnel"));
    resize(120, 40);
    createMenu();
    createTrayIcon();
    createTimers();
}

Frmico::~Frmico()
{
    DelIcon();
    hotKey_.reset();
}

void Frmico::createMenu()
{
    vllist = new QMenu(QStringLiteral("Varnel菜单"), this);
    vllist->setObjectName(QStringLiteral("vllist"));
    VlExit = vllist->addAction(QStringLiteral("退出Varnel"));
    VlExit->setObjectName(QStringLiteral("VlExit"));
    connect(VlExit, &QAction::triggered, this, &Frmico::VlExit_Click);
}

void Frmico::createTrayIcon()
{
    Ico_Pic_q7q = new QSystemTrayIcon(QIcon(varnel::programIcon()), this);
    Ico_Pic_q7q->setObjectName(QStringLiteral("Ico_Pic_q7q"));
    Ico_Pic_q7q->setToolTip(kTip);
    // The right press opens this menu; the tray itself pops it up.
    Ico_Pic_q7q->setContextMenu(vllist);
    connect(Ico_Pic_q7q, &QSystemTrayIcon::activated, this, &Frmico::Ico_Pic_q7q_Activated);
}

void Frmico::createTimers()
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &Frmico::Timer1_Timer);
}

void Frmico::Load(bool shown)
{
    // Loaded once for the program's life; a later load has nothing to add
    // (and must not leave the window up with Timer1 long spent).
    if (loaded_)
        return;
    loaded_ = true;
    setVisible(shown);
    // From now on the tray keeps the program alive, with or without windows.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    installIcon();

    hotKey_ = GlobalHotKey::create();
    // Queued: the main window is built outside the native event dispatch.
    connect(hotKey_.get(), &GlobalHotKey::activated, this, &Frmico::HotKeyPressed,
            Qt::QueuedConnection);
    hotKey_->grab();

    quitSignals_ = std::make_unique<QuitSignals>();
    Timer1->start();
}

void Frmico::installIcon()
{
    // On X11 the icon is shown even before a tray host runs: Qt docks it as
    // soon as one starts (and again after a host restarts), and isIconShown()
    // follows the host. Elsewhere without a tray there is nothing to show.
    const bool x11 =
        QGuiApplication::platformName().compare(QLatin1String("xcb"), Qt::CaseInsensitive) == 0;
    if (x11 || QSystemTrayIcon::isSystemTrayAvailable())
        Ico_Pic_q7q->show();
}

void Frmico::DelIcon()
{
    Ico_Pic_q7q->hide();
}

bool Frmico::isIconShown() const
{
    return Ico_Pic_q7q->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool Frmico::isHotKeyActive() const
{
    return hotKey_ && hotKey_->isActive();
}

void Frmico::Ico_Pic_q7q_Activated(QSystemTrayIcon::ActivationReason reason)
{
    // Only the left press; the right press is the context menu, and a double
    // click, a middle click or a move over the icon change nothing.
    if (reason != QSystemTrayIcon::Trigger)
        return;
    if (auto *windows = varnel::AppWindows::current())
        windows->showMainWindow();
}

void Frmico::HotKeyPressed()
{
    if (auto *windows = varnel::AppWindows::current())
        windows->showMainWindow();
}

void Frmico::VlExit_Click()
{
    DelIcon();
    if (auto *windows = varnel::AppWindows::current())
        windows->unloadMainWindow();
    QCoreApplication::exit(0);
}

void Frmico::Timer1_Timer()
{
    hide();
    Timer1->stop();
}

void Frmico::closeEvent(QCloseEvent *event)
{
    // Closing the tray window is the end of the program, whatever closed it.
    event->accept();
    DelIcon();
    QCoreApplication::exit(0);
}

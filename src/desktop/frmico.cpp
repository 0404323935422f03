#include "frmico.h"

#include "base/appwindows.h"
#include "desktopart.h"
#include "globalhotkey.h"
#include "quitsignals.h"
#include "trayhostwatch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

#include <memory>

namespace
{
bool onX11()
{
    return QGuiApplication::platformName().compare(QLatin1String("xcb"), Qt::CaseInsensitive) == 0;
}
} // namespace

Frmico::Frmico(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("Frmico"));
    setWindowTitle(QStringLiteral("Varnel"));
    resize(120, 40);
    createMenu();
    createTimers();
}

Frmico::~Frmico()
{
    DelIcon();
    if (hotKey_)
        hotKey_->disconnect(this);
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
    if (Ico_Pic_q7q)
        return;
    Ico_Pic_q7q = new QSystemTrayIcon(QIcon(varnel::programIcon()), this);
    Ico_Pic_q7q->setObjectName(QStringLiteral("Ico_Pic_q7q"));
    updateTip();
    // The right press opens this menu; the tray itself pops it up.
    Ico_Pic_q7q->setContextMenu(vllist);
    connect(Ico_Pic_q7q, &QSystemTrayIcon::activated, this, &Frmico::Ico_Pic_q7q_Activated);
}

void Frmico::updateTip()
{
    if (!Ico_Pic_q7q)
        return;
    // The tip names the hot key only while it works, by the name the desktop
    // gave it.
    const QString click = QStringLiteral("【点击左键】呼叫Varnel");
    Ico_Pic_q7q->setToolTip(
        isHotKeyActive() ? QStringLiteral("【%1】或").arg(hotKey_->keyName()) + click : click);
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
    loadHotKey();
    installIcon();

    quitSignals_ = std::make_unique<QuitSignals>();
    Timer1->start();
}

void Frmico::loadHotKey()
{
    hotKey_ = GlobalHotKey::create();
    // Queued: the main window is built outside the native event dispatch.
    connect(hotKey_.get(), &GlobalHotKey::activated, this, &Frmico::HotKeyPressed,
            Qt::QueuedConnection);
    connect(hotKey_.get(), &GlobalHotKey::stateChanged, this, [this] {
        updateTip();
        emit reachChanged();
    });
    hotKey_->grab();
}

void Frmico::installIcon()
{
    // Elsewhere than on X11 there is no tray host to wait for: the icon shows
    // when the platform has a tray.
    if (!onX11()) {
        createTrayIcon();
        if (QSystemTrayIcon::isSystemTrayAvailable())
            Ico_Pic_q7q->show();
        return;
    }
    // On X11 the icon is made once a tray host runs; Qt then keeps it in the
    // tray as hosts come and go, and isIconShown() follows the host.
    hostWatch_ = new TrayHostWatch(QDBusConnection::sessionBus(), this);
    connect(hostWatch_, &TrayHostWatch::hostAppeared, this, [this] {
        if (iconRemoved_)
            return;
        createTrayIcon();
        Ico_Pic_q7q->show();
        emit reachChanged();
    });
    hostWatch_->watch();
}

void Frmico::DelIcon()
{
    iconRemoved_ = true;
    if (Ico_Pic_q7q)
        Ico_Pic_q7q->hide();
}

bool Frmico::isIconShown() const
{
    return Ico_Pic_q7q && Ico_Pic_q7q->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool Frmico::isHotKeyActive() const
{
    return hotKey_ && hotKey_->isActive();
}

QString Frmico::hotKeyName() const
{
    return hotKey_ ? hotKey_->keyName() : QStringLiteral("Ctrl+1");
}

bool Frmico::isHotKeyPending() const
{
    return hotKey_ && hotKey_->isPending();
}

void Frmico::retryHotKey()
{
    if (hotKey_ && !hotKey_->isActive() && !hotKey_->isPending())
        hotKey_->grab();
}

template <typename Sender, typename Signal>
void Frmico::when(const std::function<bool()> &done, const Sender *sender, Signal signal,
                  const std::function<void()> &then, int waitMs)
{
    if (done()) {
        then();
        return;
    }
    auto *wait = new QTimer(this);
    wait->setSingleShot(true);
    // Also looked at now and then: the tray may tell Qt of a host a moment
    // after the host shows itself to us.
    auto *look = new QTimer(wait);
    look->setInterval(250);
    auto finish = [wait, done, then] {
        if (wait->property("done").toBool() || (!done() && wait->isActive()))
            return;
        wait->setProperty("done", true);
        wait->stop();
        wait->deleteLater();
        then();
    };
    connect(sender, signal, wait, finish);
    connect(look, &QTimer::timeout, wait, finish);
    connect(wait, &QTimer::timeout, wait, finish);
    wait->start(waitMs);
    look->start();
}

void Frmico::whenHotKeySettled(const std::function<void()> &then, int waitMs)
{
    if (!hotKey_) {
        then();
        return;
    }
    when([this] { return !isHotKeyPending(); }, hotKey_.get(), &GlobalHotKey::stateChanged, then,
         waitMs);
}

void Frmico::whenReachable(const std::function<void()> &then, int waitMs)
{
    when([this] { return isIconShown() || isHotKeyActive(); }, this, &Frmico::reachChanged, then,
         waitMs);
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

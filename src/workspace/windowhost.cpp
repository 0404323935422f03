#include "windowhost.h"

#include "frmico.h"
#include "frmminbook.h"
#include "windowunload.h"

namespace varnel
{

WindowHost::WindowHost()
{
    AppWindows::setCurrent(this);
}

WindowHost::~WindowHost()
{
    delete main_.data(); // the event loop is over: nothing of the window is on the stack
    if (AppWindows::current() == this)
        AppWindows::setCurrent(nullptr);
}

void WindowHost::showMainWindow()
{
    // A window that was closed is only waiting to be deleted: build a new one.
    if (!isMainWindowLoaded())
        main_ = new FrmMinBook;
    main_->setWindowState(main_->windowState() & ~Qt::WindowMinimized);
    main_->show();
    main_->raise();
    main_->activateWindow();
}

void WindowHost::unloadMainWindow()
{
    // Hidden now, destroyed once no handler or dialog of it is running.
    varnel::unloadWhenIdle(main_);
}

bool WindowHost::isMainWindowLoaded() const
{
    return main_ && !main_->isHidden();
}

void WindowHost::loadTray(bool shown)
{
    if (!tray_) {
        tray_ = std::make_unique<Frmico>();
        // The help line of an open main window follows the hot key.
        QObject::connect(tray_.get(), &Frmico::reachChanged, tray_.get(), [this] {
            if (main_)
                main_->showHotKeyHelp();
        });
    }
    tray_->Load(shown);
}

void WindowHost::delIcon()
{
    if (tray_)
        tray_->DelIcon();
}

bool WindowHost::trayIconShown() const
{
    return tray_ && tray_->isIconShown();
}

bool WindowHost::hotKeyActive() const
{
    return tray_ && tray_->isHotKeyActive();
}

QString WindowHost::hotKeyName() const
{
    return tray_ ? tray_->hotKeyName() : AppWindows::hotKeyName();
}

bool WindowHost::hotKeyPending() const
{
    return tray_ && tray_->isHotKeyPending();
}

void WindowHost::retryHotKey()
{
    if (tray_)
        tray_->retryHotKey();
}

void WindowHost::whenHotKeySettled(const std::function<void()> &then, int waitMs)
{
    if (tray_)
        tray_->whenHotKeySettled(then, waitMs);
    else
        then();
}

void WindowHost::whenReachable(const std::function<void()> &then, int waitMs)
{
    if (tray_)
        tray_->whenReachable(then, waitMs);
    else
        then();
}

} // namespace varnel

#include "windowhost.h"

#include "frmico.h"
#include "frmminbook.h"

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
    // The window deletes itself once control is back in the event loop, so a
    // handler of the window that is still running (say, in a message box) is
    // never pulled away from under its feet.
    if (main_)
        main_->close();
}

bool WindowHost::isMainWindowLoaded() const
{
    return main_ && !main_->isHidden();
}

void WindowHost::loadTray(bool shown)
{
    if (!tray_)
        tray_ = std::make_unique<Frmico>();
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

} // namespace varnel

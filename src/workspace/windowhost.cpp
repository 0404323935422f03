#include "windowhost.h"

#include "frmico.h"
#include "frmminbook.h"

namespace varnel {

WindowHost::WindowHost() { AppWindows::setCurrent(this); }

WindowHost::~WindowHost()
{
    unloadMainWindow();
    if (AppWindows::current() == this)
        AppWindows::setCurrent(nullptr);
}

void WindowHost::showMainWindow()
{
    if (!main_)
        main_ = new FrmMinBook;
    main_->setWindowState(main_->windowState() & ~Qt::WindowMinimized);
    main_->show();
    main_->raise();
    main_->activateWindow();
}

void WindowHost::unloadMainWindow()
{
    delete main_.data();
}

bool WindowHost::isMainWindowLoaded() const { return !main_.isNull(); }

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

bool WindowHost::trayIconShown() const { return tray_ && tray_->isIconShown(); }

bool WindowHost::hotKeyActive() const { return tray_ && tray_->isHotKeyActive(); }

} // namespace varnel

#pragma once

#include "base/appwindows.h"

#include <QPointer>

#include <memory>

#include "frmminbook.h"
class Frmico;

namespace varnel
{

// The running program's windows: at most one main window (built anew at every
// show, destroyed when hidden) and the tray window.
class WindowHost : public AppWindows
{
  public:
    WindowHost();
    ~WindowHost() override;

    void showMainWindow() override;
    void unloadMainWindow() override;
    bool isMainWindowLoaded() const override;
    void loadTray(bool shown) override;
    void delIcon() override;
    bool trayIconShown() const override;
    bool hotKeyActive() const override;
    QString hotKeyName() const override;
    bool hotKeyPending() const override;
    void retryHotKey() override;
    void whenHotKeySettled(const std::function<void()> &then, int waitMs) override;
    void whenReachable(const std::function<void()> &then, int waitMs) override;

    FrmMinBook *mainWindow() const { return main_; }
    Frmico *tray() const { return tray_.get(); }

  private:
    QPointer<FrmMinBook> main_;
    std::unique_ptr<Frmico> tray_;
};

} // namespace varnel

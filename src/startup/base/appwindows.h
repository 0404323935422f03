#pragma once

#include <QString>

#include <functional>

// How the windows of the running notebook reach each other without knowing
// each other's classes: the start-up and login code, the tray and the hot key
// ask for the main window here; the program installs the one implementation.
namespace varnel
{

class AppWindows
{
  public:
    virtual ~AppWindows() = default;

    static AppWindows *current();
    static void setCurrent(AppWindows *windows);

    // Shows the main window in its normal state, loading it when it is not loaded.
    virtual void showMainWindow() = 0;
    virtual void unloadMainWindow() = 0;
    virtual bool isMainWindowLoaded() const = 0;

    // Loads the tray window: icon and hot key. shown: visible until its first tick.
    virtual void loadTray(bool shown) = 0;
    // Removes the tray icon (harmless when there is none).
    virtual void delIcon() = 0;

    // Whether the user can bring a hidden main window back: by the tray icon
    // (shown in a running tray host) or by the global hot key (grabbed).
    virtual bool trayIconShown() const = 0;
    virtual bool hotKeyActive() const = 0;
    // The hot key as the desktop names it (it may have bound another chord).
    virtual QString hotKeyName() const { return QStringLiteral("Ctrl+1"); }

    // The hot key was asked of the desktop, which has not answered yet.
    virtual bool hotKeyPending() const { return false; }
    // Tries the hot key again when it is not held (another program may have
    // let it go since).
    virtual void retryHotKey() {}
    // Calls `then` once the hot key's answer is in, or after waitMs at most.
    virtual void whenHotKeySettled(const std::function<void()> &then, int waitMs)
    {
        (void)waitMs;
        then();
    }
    // Calls `then` as soon as the tray icon shows or the hot key works, or
    // after waitMs at most: a panel that starts with the session may come a
    // few seconds after the program.
    virtual void whenReachable(const std::function<void()> &then, int waitMs)
    {
        (void)waitMs;
        then();
    }
};

} // namespace varnel

#pragma once

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
};

} // namespace varnel

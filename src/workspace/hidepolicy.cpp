#include "hidepolicy.h"

#include "appwindows.h"
#include "reachnotice.h"

namespace varnel
{

namespace
{
struct WaysBack {
    bool trayIcon = false;
    bool hotKey = false;
    bool any() const { return trayIcon || hotKey; }
};

// The hot key is tried again first: another program may have let it go.
WaysBack retriedWaysBack()
{
    AppWindows *windows = AppWindows::current();
    if (!windows)
        return {};
    windows->retryHotKey();
    return {windows->trayIconShown(), windows->hotKeyActive()};
}
} // namespace

HidePolicy::Outcome HidePolicy::onHide(QWidget *window, bool fromMinimise)
{
    const WaysBack back = retriedWaysBack();
    // A minimised window may not take a dialog as its child.
    ReachNotice::tellOnce(fromMinimise ? nullptr : window, back.trayIcon, back.hotKey);
    return back.any() ? Outcome::Unload : Outcome::Minimise;
}

HidePolicy::Outcome HidePolicy::onWindowManagerClose(QWidget *window)
{
    const WaysBack back = retriedWaysBack();
    if (!back.any())
        return Outcome::Quit;
    ReachNotice::tellOnce(window, back.trayIcon, back.hotKey);
    return Outcome::Unload;
}

} // namespace varnel

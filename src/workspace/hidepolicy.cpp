#include "hidepolicy.h"

#include "base/appwindows.h"
#include "reachnotice.h"

#include <QPointer>
#include <QWidget>

namespace varnel
{

namespace
{
// How long a hide waits for the desktop's answer for the hot key.
constexpr int kAnswerWaitMs = 10000;

struct WaysBack {
    bool trayIcon = false;
    bool hotKey = false;
    bool any() const { return trayIcon || hotKey; }
};

// The hot key is tried again first (another program may have let it go);
// `then` runs once its state is known.
void withWaysBack(QWidget *window, const std::function<void(QWidget *, WaysBack)> &then)
{
    AppWindows *windows = AppWindows::current();
    if (!windows) {
        then(window, {});
        return;
    }
    windows->retryHotKey();
    QPointer<QWidget> guard(window);
    const bool waits = windows->hotKeyPending();
    if (waits)
        window->setCursor(Qt::BusyCursor);
    windows->whenHotKeySettled(
        [guard, waits, then] {
            AppWindows *now = AppWindows::current();
            if (!guard || !now)
                return;
            if (waits)
                guard->unsetCursor();
            then(guard, {now->trayIconShown(), now->hotKeyActive()});
        },
        kAnswerWaitMs);
}
} // namespace

void HidePolicy::onHide(QWidget *window, bool fromMinimise, const Decided &then)
{
    withWaysBack(window, [fromMinimise, then](QWidget *shown, WaysBack back) {
        // A minimised window may not take a dialog as its child.
        ReachNotice::tellOnce(fromMinimise ? nullptr : shown, back.trayIcon, back.hotKey);
        then(back.any() ? Outcome::Unload : Outcome::Minimise);
    });
}

void HidePolicy::onWindowManagerClose(QWidget *window, const Decided &then)
{
    withWaysBack(window, [then](QWidget *shown, WaysBack back) {
        if (!back.any()) {
            then(Outcome::Quit);
            return;
        }
        ReachNotice::tellOnce(shown, back.trayIcon, back.hotKey);
        then(Outcome::Unload);
    });
}

} // namespace varnel

#pragma once

#include "base/appwindows.h"

#include <QStringList>

#include <functional>
#include <utility>

// Stands in for the program's windows: records what the start-up code asks
// for. Installed as AppWindows::current() while it lives.
class FakeAppWindows : public varnel::AppWindows
{
  public:
    FakeAppWindows() : previous_(current()) { setCurrent(this); }
    ~FakeAppWindows() override { setCurrent(previous_); }

    void showMainWindow() override { calls << QStringLiteral("showMainWindow"); }
    void unloadMainWindow() override { calls << QStringLiteral("unloadMainWindow"); }
    bool isMainWindowLoaded() const override
    {
        return calls.contains(QStringLiteral("showMainWindow"));
    }
    void loadTray(bool shown) override
    {
        calls << (shown ? QStringLiteral("loadTray(shown)") : QStringLiteral("loadTray(hidden)"));
    }
    void delIcon() override { calls << QStringLiteral("delIcon"); }
    bool trayIconShown() const override { return iconShown; }
    bool hotKeyActive() const override { return hotKey; }
    // With answerLater, the way back (tray host or hot key) is known at
    // settle(), not before.
    void whenReachable(const std::function<void()> &then, int) override
    {
        if (answerLater)
            settled_ = then;
        else
            then();
    }
    void settle()
    {
        if (settled_)
            std::exchange(settled_, nullptr)();
    }

    QStringList calls;
    bool iconShown = true;
    bool hotKey = true;
    bool answerLater = false;

  private:
    AppWindows *previous_;
    std::function<void()> settled_;
};

#pragma once

#include "base/appwindows.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTimer>

// Stands in for the program's windows: counts what the tray asks of them.
class FakeWindows : public varnel::AppWindows
{
  public:
    FakeWindows() { setCurrent(this); }
    ~FakeWindows() override
    {
        if (current() == this)
            setCurrent(nullptr);
    }

    void showMainWindow() override
    {
        ++shows;
        loaded = true;
    }
    void unloadMainWindow() override
    {
        ++unloads;
        loaded = false;
    }
    bool isMainWindowLoaded() const override { return loaded; }
    void loadTray(bool) override {}
    void delIcon() override {}
    bool trayIconShown() const override { return false; }
    bool hotKeyActive() const override { return false; }

    int shows = 0;
    int unloads = 0;
    bool loaded = false;
};

// Runs the application's own event loop until something ends it with
// QCoreApplication::exit, as the program's main loop would be ended. Gives up
// with -100 after the watchdog time. Using exec() rather than a local loop
// leaves the application ready for further event loops afterwards.
inline int runApplicationLoop(int watchdogMs = 30000)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-100); });
    watchdog.start(watchdogMs);
    return QCoreApplication::exec();
}

// xdotool against the test's display; its output.
inline QString xdotoolOutput(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// xdotool against the test's display; true when it ran and succeeded.
inline bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

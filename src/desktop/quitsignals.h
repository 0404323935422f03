#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a clean end of the event loop, so the
// program's destructors run (the tray icon goes, the hot key is given back).
// The handler only writes a byte to a pipe; the event loop reads it and asks
// the application to exit. One instance at a time owns the signals; a second
// one stays idle.
class QuitSignals : public QObject
{
    Q_OBJECT
  public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    bool isInstalled() const { return installed_; }

  private:
    static void handle(int signal);
    void onReadable();

    static int pipe_[2];
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction previous_[3] = {};
    QSocketNotifier *notifier_ = nullptr;
    bool installed_ = false;
};

#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;
class QTimer;

// Whether a tray host runs, and when one turns up: a StatusNotifierItem host
// registered with the watcher on the session bus (KDE, Ubuntu's GNOME, most
// panels), or an XEmbed tray on the X server (trayhost_x11.cpp).
//
// The tray icon must not be made before a host is there: Qt decides once per
// program, when the first tray icon is made, whether icons go through
// StatusNotifierItem, so an icon made before the panel has started would
// never reach a StatusNotifierItem host that comes later.
class TrayHostWatch : public QObject
{
    Q_OBJECT
  public:
    explicit TrayHostWatch(const QDBusConnection &bus, QObject *parent = nullptr);

    bool hostRunning() const { return statusNotifierHost() || xembedTray(); }
    // From now on, hostAppeared() is emitted once, as soon as a host runs.
    void watch();

  signals:
    void hostAppeared();

  private slots:
    void check();

  private:
    bool statusNotifierHost() const;
    static bool xembedTray();

    QDBusConnection bus_;
    QDBusServiceWatcher *watcher_ = nullptr;
    QTimer *poll_ = nullptr;
    bool watching_ = false;
};

// trayhost_x11.cpp: an XEmbed tray manager owns its selection on the
// application's X server.
bool xembedTrayRunning();

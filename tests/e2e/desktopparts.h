#pragma once

#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>

class E2eFolder;
class PrivateBus;

// Desktop components of the journeys that need more than an X server: an
// Xfce panel with its system tray, and a KWin Wayland session.

// xfce4-panel along the top of the display with one plugin, the system tray
// (it hosts StatusNotifierItem and XEmbed icons), from a written
// configuration in the bus's home, for as long as the object lives. The bus
// must have Xfce's settings store (PrivateBus::Setup::xfconf).
class XfcePanel
{
  public:
    explicit XfcePanel(const PrivateBus &bus);
    ~XfcePanel();
    bool ok() const { return ok_; }
    // Where the tray's icons sit, on the display (empty before it is up).
    QRect area() const;

  private:
    QProcess process_;
    QString window_;
    bool ok_ = false;
};

// A KWin Wayland session inside the test X server (KWin's X11 windowed
// backend, so that xdotool on the test display is the user's keyboard), with
// XWayland for X clients on a display of the test's choosing, on the bus's
// session: KWin brings kglobalaccel there (give the bus none of its own).
// The bus's activation environment names the session's displays, so the
// portal that starts later runs in it.
class KWinSession
{
  public:
    // xwaylandDisplay: the number of the session's X display (":N"), or one
    // of the next three when it is taken.
    KWinSession(PrivateBus &bus, int xwaylandDisplay);
    ~KWinSession();
    bool ok() const { return ok_; }
    QString display() const { return display_; }
    static QRect output() { return QRect(0, 0, 1200, 960); }

  private:
    bool listen(int number);
    QTemporaryDir dir_;
    QProcess process_;
    QString display_;
    QList<int> sockets_;
    QString socketPath_;
    bool ok_ = false;
};

// A Chinese input method with pinyin switched on, for the programs of a
// folder: fcitx5 (pinyin from fcitx5-chinese-addons) or IBus (libpinyin),
// started on the bus with the folder's settings folder, for as long as the
// object lives. The folder's programs started from now on use it.
class InputMethod
{
  public:
    enum class Kind { Fcitx5, IBus };
    InputMethod(Kind kind, E2eFolder &folder, const PrivateBus &bus);
    ~InputMethod();
    bool ok() const { return ok_; }
    // Waits until the input method composes for the focused box (fcitx5
    // says so; IBus has its engine for every box).
    bool waitUntilComposing(int ms = 20000);

  private:
    bool startFcitx5(const QString &config, const PrivateBus &bus);
    bool startIBus();
    int run(const QString &program, const QStringList &arguments, QString *output = nullptr);

    Kind kind_;
    QProcessEnvironment env_;
    QProcess daemon_;
    bool ok_ = false;
};

#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>

struct xcb_connection_t;

// Runs the real programs for a journey: a private program folder with copies
// of Varnelpad and update and a freshly provisioned data folder, private XDG
// folders, and xdotool to press keys and click on the test's X server.
class E2eFolder
{
  public:
    E2eFolder();
    ~E2eFolder();

    bool ok() const { return ok_; }
    QString path() const { return dir_.path(); }
    QString program() const { return dir_.filePath(QStringLiteral("Varnelpad")); }
    QProcessEnvironment environment() const;
    // Sets a variable for the programs started from now on (DISPLAY, a session bus).
    void setEnvironment(const QString &name, const QString &value) { extra_.insert(name, value); }

    // Reads or changes the database of this folder the way the program does.
    QVariant scalar(const QString &sql, const QVariantList &params = {}) const;
    void exec(const QString &sql, const QVariantList &params = {}) const;

  private:
    QTemporaryDir dir_;
    QProcessEnvironment extra_;
    bool ok_ = false;
};

// One running copy of a program of the folder.
class RunningProgram
{
  public:
    // platform: the Qt platform plugin, the test's X server unless given.
    explicit RunningProgram(const E2eFolder &folder,
                            const QString &name = QStringLiteral("Varnelpad"),
                            const QString &platform = QStringLiteral("xcb"));
    ~RunningProgram(); // kills what is still running

    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    bool waitForExit(int ms);
    int exitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }
    qint64 pid() const { return process_.processId(); }
    QString output() { return QString::fromLocal8Bit(process_.readAll()); }

  private:
    QProcess process_;
};

// A tray host (trayer) on the test X server for as long as the object lives.
class TrayHost
{
  public:
    TrayHost();
    ~TrayHost();
    bool ok() const { return ok_; }

  private:
    QProcess process_;
    bool ok_ = false;
};

// A window manager (openbox) on the test X server for as long as the object
// lives. Its title bars carry the iconify button first, left of the title.
class WindowManager
{
  public:
    WindowManager();
    ~WindowManager();
    bool ok() const { return ok_; }

  private:
    QTemporaryDir config_;
    QProcess process_;
    bool ok_ = false;
};

// A private session bus for the test process and the programs it starts,
// with the accessibility (AT-SPI) bus behind it, for as long as the object
// lives: the programs publish their widgets there, and a journey reads the
// texts on screen the way a screen reader does.
class ScreenReader
{
  public:
    ScreenReader();
    ~ScreenReader();
    bool ok() const { return ok_; }
    // The texts of the labels in the windows of the process.
    QStringList labels(qint64 pid) const;
    // The same with where each label lies on the screen, and where the
    // other controls lie (with an empty text).
    struct PlacedLabel {
        QRect rect;
        QString text;
    };
    QList<PlacedLabel> placedLabels(qint64 pid) const;

  private:
    static bool waitForName(const char *name);
    QProcess bus_;
    QTemporaryDir runtime_;
    QProcess launcher_;
    QByteArray oldAddress_;
    bool ok_ = false;
};

// A process the test did not start itself (one that a program of the
// journey started), looked at through /proc.
namespace proc
{

QString executable(qint64 pid);       // the canonical path of its program file
QString workingDirectory(qint64 pid); // canonical
// Waits until the process has ended (gone, or a zombie nobody reaped yet).
bool waitForEnd(qint64 pid, int ms = 20000);
// Kills the process if it still runs `program` (so a reused pid is left alone).
void killIfRunning(qint64 pid, const QString &program);

} // namespace proc

// A Wayland session inside the test X server: weston (its X11 backend, so
// that xdotool on the test display is the user's mouse and keyboard) with
// XWayland for X clients. The session's own X server is display().
class WaylandSession
{
  public:
    WaylandSession();
    ~WaylandSession();
    bool ok() const { return !display_.isEmpty(); }
    QString display() const { return display_; }
    // The test X server, where the session's mouse and keyboard are.
    QString outerDisplay() const { return outer_; }
    // The compositor's output, in the test display's coordinates.
    static QRect output() { return QRect(0, 0, 1200, 960); }

  private:
    QTemporaryDir runtime_;
    QProcess process_;
    QString display_;
    QString outer_ = QString::fromLocal8Bit(qgetenv("DISPLAY"));
};

namespace x11
{

// Points the x11 helpers (and the programs started meanwhile) at another X
// display for as long as it lives.
class UseDisplay
{
  public:
    explicit UseDisplay(const QString &display);
    ~UseDisplay();
    UseDisplay(const UseDisplay &) = delete;
    UseDisplay &operator=(const UseDisplay &) = delete;

  private:
    QByteArray previous_;
};

// The pointer's position on the display.
QPoint pointer();

// The id of a visible top-level window whose title matches the regular
// expression (and whose size is `size` when given), waiting up to ms.
QString waitForWindow(const QString &titleRegex, QSize size = {}, int ms = 20000);
bool waitForNoWindow(const QString &titleRegex, QSize size = {}, int ms = 20000);
QStringList windows(const QString &titleRegex);
QRect geometry(const QString &window);

void click(const QString &window, QPoint at, int button = 1);
void key(const QString &chord);
void typeText(const QString &text);
void focus(const QString &window);
QImage grab(const QString &window);
// The process that owns the window (its _NET_WM_PID), 0 when unknown.
qint64 windowPid(const QString &window);

// Presses the iconify button of the title bar the window manager gave the
// window; false when the window stayed on screen.
bool pressIconify(const QString &window);

// Runs xdotool with the arguments; returns its standard output.
QString xdotool(const QStringList &args, int *exitCode = nullptr);

// While it lives, the characters of a text beyond ASCII sit on spare keys of
// the X keyboard. Otherwise xdotool changes the keyboard map for each such
// character and back, and a busy program that reads the key after the map
// went back gets another character.
class SpareKeys
{
  public:
    explicit SpareKeys(const QString &text);
    ~SpareKeys();
    SpareKeys(const SpareKeys &) = delete;
    SpareKeys &operator=(const SpareKeys &) = delete;
    bool ok() const { return ok_; }

  private:
    xcb_connection_t *connection_;
    QList<quint8> keys_;
    quint8 perKey_ = 0;
    bool ok_ = false;
};

} // namespace x11

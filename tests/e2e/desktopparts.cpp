#include "desktopparts.h"

#include "e2eharness.h"
#include "privatebus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace
{
const char kPanelConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="1"/>
      <property name="length-adjust" type="bool" value="true"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";
} // namespace

XfcePanel::XfcePanel(const PrivateBus &bus)
{
    const QString folder = bus.configHome() + QStringLiteral("/xfce4/xfconf/xfce-perchannel-xml");
    QDir().mkpath(folder);
    QFile config(folder + QStringLiteral("/xfce4-panel.xml"));
    if (!config.open(QIODevice::WriteOnly) || config.write(kPanelConfig) <= 0)
        return;
    config.close();
    QProcessEnvironment env = bus.environment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(qgetenv("DISPLAY")));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(QDir(bus.configHome()).filePath(QStringLiteral("panel.log")));
    process_.start(QStringLiteral("xfce4-panel"), {QStringLiteral("--disable-wm-check")});
    if (!process_.waitForStarted(5000))
        return;
    window_ = x11::waitForWindow(QStringLiteral("^xfce4-panel$"), {}, 30000);
    ok_ = !window_.isEmpty();
}

XfcePanel::~XfcePanel()
{
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QRect XfcePanel::area() const
{
    return window_.isEmpty() ? QRect() : x11::geometry(window_);
}

namespace
{
// A listening Unix socket at `path`, or in the abstract namespace when the
// path starts with a zero byte; -1 when it cannot be made.
int listeningSocket(const QByteArray &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || size_t(path.size()) >= sizeof(address.sun_path))
        return -1;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()));
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

bool KWinSession::listen(int number)
{
    // XWayland's two sockets, as an X server has them: in /tmp/.X11-unix and
    // in the abstract namespace. KWin hands them to XWayland.
    const QString path = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
    if (QFile::exists(path))
        return false; // another X server's
    const int file = listeningSocket(path.toLocal8Bit());
    const int abstract = listeningSocket(QByteArray(1, '\0') + path.toLocal8Bit());
    if (file >= 0 && abstract >= 0) {
        sockets_ = {file, abstract};
        socketPath_ = path;
        return true;
    }
    for (int fd : {file, abstract}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (file >= 0)
        QFile::remove(path);
    return false;
}

KWinSession::KWinSession(PrivateBus &bus, int xwaylandDisplay)
{
    // The installed program carries a file capability that the test's
    // process may not grant: a plain copy runs. KWin finds its own files by
    // the name of its folder.
    const QString program = dir_.filePath(QStringLiteral("kwin/kwin_wayland"));
    if (!dir_.isValid() || !QDir(dir_.path()).mkpath(QStringLiteral("kwin")) ||
        !QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), program))
        return;
    // The first free display from the one asked for on (a stale socket of an
    // earlier run may sit on it).
    int number = xwaylandDisplay;
    while (!listen(number) && number < xwaylandDisplay + 3)
        ++number;
    if (sockets_.isEmpty())
        return;
    const QString runtime = dir_.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString outer = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    const QString socket = QStringLiteral("varnel-kwin-%1").arg(number);
    QProcessEnvironment env = bus.environment();
    env.insert(QStringLiteral("DISPLAY"), outer);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("Q"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(dir_.filePath(QStringLiteral("kwin.log")));
    display_ = QStringLiteral(":%1").arg(number);
    QStringList arguments{QStringLiteral("--x11-display"),
                          outer,
                          QStringLiteral("--xwayland"),
                          QStringLiteral("--xwayland-display"),
                          display_,
                          QStringLiteral("--socket"),
                          socket,
                          QStringLiteral("--width"),
                          QString::number(output().width()),
                          QStringLiteral("--height"),
                          QString::number(output().height())};
    for (int fd : std::as_const(sockets_))
        arguments << QStringLiteral("--xwayland-fd") << QString::number(fd);
    process_.start(program, arguments);
    if (!process_.waitForStarted(10000))
        return;
    // Up once XWayland answers.
    QProcess probe;
    QProcessEnvironment probeEnv = QProcessEnvironment::systemEnvironment();
    probeEnv.insert(QStringLiteral("DISPLAY"), display_);
    probe.setProcessEnvironment(probeEnv);
    for (int attempt = 0; attempt < 120 && process_.state() == QProcess::Running; ++attempt) {
        probe.start(QStringLiteral("xdpyinfo"), {});
        if (probe.waitForFinished(10000) && probe.exitCode() == 0) {
            ok_ = true;
            break;
        }
        QTest::qWait(250);
    }
    // What the bus starts from now on (the portal) runs in the session.
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage update = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
    update << QVariant::fromValue(
        QMap<QString, QString>{{QStringLiteral("DISPLAY"), display_},
                               {QStringLiteral("WAYLAND_DISPLAY"), socket},
                               {QStringLiteral("XDG_RUNTIME_DIR"), runtime}});
    ok_ = ok_ &&
          bus.connection().call(update, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

KWinSession::~KWinSession()
{
    process_.terminate(); // takes XWayland and its clients along
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    for (int fd : std::as_const(sockets_))
        ::close(fd);
    if (!socketPath_.isEmpty())
        QFile::remove(socketPath_);
}

namespace
{
bool writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Pinyin after the keyboard, and input methods on from the start.
const char kFcitxProfile[] = R"([Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
)";
const char kFcitxConfig[] = "[Behavior]\nActiveByDefault=True\n";
} // namespace

InputMethod::InputMethod(Kind kind, E2eFolder &folder, const PrivateBus &bus) : kind_(kind)
{
    env_ = folder.environment();
    env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    env_.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    const QString module = kind == Kind::Fcitx5 ? QStringLiteral("fcitx") : QStringLiteral("ibus");
    folder.setEnvironment(QStringLiteral("QT_IM_MODULE"), module);
    folder.setEnvironment(QStringLiteral("XMODIFIERS"), QStringLiteral("@im=") + module);
    folder.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    daemon_.setProcessEnvironment(env_);
    daemon_.setProcessChannelMode(QProcess::MergedChannels);
    daemon_.setStandardOutputFile(QProcess::nullDevice());
    const QString config = env_.value(QStringLiteral("XDG_CONFIG_HOME"));
    ok_ = kind == Kind::Fcitx5 ? startFcitx5(config, bus) : startIBus();
}

InputMethod::~InputMethod()
{
    if (kind_ == Kind::IBus)
        run(QStringLiteral("ibus"), {QStringLiteral("exit")});
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000)) {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
}

int InputMethod::run(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessEnvironment(env_);
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return -1;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool InputMethod::startFcitx5(const QString &config, const PrivateBus &bus)
{
    if (!writeText(config + QStringLiteral("/fcitx5/profile"), kFcitxProfile) ||
        !writeText(config + QStringLiteral("/fcitx5/config"), kFcitxConfig))
        return false;
    daemon_.start(QStringLiteral("fcitx5"), {QStringLiteral("--disable=wayland")});
    return daemon_.waitForStarted(5000) &&
           bus.waitForName(QStringLiteral("org.fcitx.Fcitx5"), 30000);
}

bool InputMethod::startIBus()
{
    daemon_.start(
        QStringLiteral("ibus-daemon"),
        {QStringLiteral("--xim"), QStringLiteral("--panel=disable"), QStringLiteral("--replace")});
    if (!daemon_.waitForStarted(5000))
        return false;
    // The daemon answers once it is up; then pinyin is its engine for every box.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        // Setting the engine says 1 even when it took: what counts is the answer.
        QString engine;
        run(QStringLiteral("ibus"), {QStringLiteral("engine"), QStringLiteral("libpinyin")});
        if (run(QStringLiteral("ibus"), {QStringLiteral("engine")}, &engine) == 0 &&
            engine == QLatin1String("libpinyin"))
            return true;
        QTest::qWait(250);
    }
    return false;
}

bool InputMethod::waitUntilComposing(int ms)
{
    if (kind_ == Kind::IBus)
        return true;
    QElapsedTimer waited;
    waited.start();
    do {
        QString state;
        if (run(QStringLiteral("fcitx5-remote"), {}, &state) == 0 && state == QLatin1String("2"))
            return true;
        QTest::qWait(200);
    } while (waited.elapsed() < ms);
    return false;
}

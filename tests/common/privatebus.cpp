#include "privatebus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>

namespace
{

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
}

QByteArray busConfig(const QString &dir)
{
    return QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                          "Configuration 1.0//EN\"\n"
                          " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                          "<busconfig>\n"
                          "  <type>session</type>\n"
                          "  <listen>unix:dir=%1</listen>\n"
                          "  <auth>EXTERNAL</auth>\n"
                          "  <servicedir>%1/services</servicedir>\n"
                          "  <policy context=\"default\">\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow eavesdrop=\"true\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n")
        .arg(dir)
        .toUtf8();
}

QByteArray service(const char *name, const QString &exec)
{
    return QByteArray("[D-BUS Service]\nName=") + name + "\nExec=" + exec.toUtf8() + "\n";
}

} // namespace

PrivateBus::PrivateBus(const Setup &setup)
{
    if (!dir_.isValid())
        return;
    const QString root = dir_.path();
    QDir(root).mkpath(QStringLiteral("services"));
    QDir(root).mkpath(QStringLiteral("portals"));
    QDir(root).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(root + QStringLiteral("/bus.conf"), busConfig(root));
    if (setup.portal) {
        writeFile(root + QStringLiteral("/services/portal.service"),
                  service("org.freedesktop.portal.Desktop",
                          QStringLiteral("/usr/libexec/xdg-desktop-portal")));
    }
    if (setup.globalShortcuts && setup.kde) {
        setUpKde(setup);
    } else if (setup.globalShortcuts) {
        writeFile(root + QStringLiteral("/services/backend.service"),
                  service("org.freedesktop.impl.portal.desktop.varneltest",
                          QStringLiteral(VARNEL_TEST_SHORTCUTS_BACKEND)));
        writeFile(root + QStringLiteral("/portals/varneltest.portal"),
                  "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.varneltest\n"
                  "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts\nUseIn=varneltest\n");
    }
    // The services the bus starts inherit its environment.
    QProcessEnvironment &env = env_;
    env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), root + QStringLiteral("/portals"));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"),
               setup.kde ? QStringLiteral("KDE") : QStringLiteral("varneltest"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("VARNEL_TEST_BIND_RESPONSE"), QString::number(setup.bindResponse));
    env.insert(QStringLiteral("VARNEL_TEST_BIND_DELAY_MS"), QString::number(setup.bindDelayMs));
    if (setup.xfconf) {
        writeFile(root + QStringLiteral("/services/xfconf.service"),
                  service("org.xfce.Xfconf",
                          QStringLiteral("/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd")));
    }
    if (setup.kde || setup.xfconf) {
        // The desktop keeps its settings under the home folder: this bus's
        // own. The logging xdg-open comes first on the path.
        setUpHome();
        const QString home = root + QStringLiteral("/home");
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("PATH"),
                   root + QStringLiteral("/bin:") + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    daemon_.setProcessEnvironment(env);
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + root + QStringLiteral("/bus.conf"),
                   QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(10000);
    while (!daemon_.canReadLine() && !deadline.hasExpired())
        daemon_.waitForReadyRead(200);
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    connectionName_ = QStringLiteral("privatebus-") + QString::number(quintptr(this));
    ok_ = !address_.isEmpty() && connection().isConnected();
}

namespace
{
// The parent of a process, from /proc/<pid>/stat ("pid (name) state ppid ...").
qint64 parentOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}
} // namespace

// The services the bus started do not all end with it (KDE's stay, holding
// their keys on the X server): they are ended first. The test's own
// processes are left to their owners.
void PrivateBus::endServices()
{
    if (!ok_)
        return;
    QDBusConnectionInterface *bus = connection().interface();
    const QStringList names = bus->registeredServiceNames().value();
    QList<pid_t> pids;
    for (const QString &name : names) {
        const uint pid = bus->servicePid(name).value();
        const qint64 self = QCoreApplication::applicationPid();
        if (name.startsWith(QLatin1Char(':')) && pid != 0 && qint64(pid) != self &&
            parentOf(pid_t(pid)) != self && !pids.contains(pid_t(pid)))
            pids << pid_t(pid);
    }
    for (pid_t pid : std::as_const(pids))
        ::kill(pid, SIGTERM);
    QDeadlineTimer deadline(5000);
    for (pid_t pid : std::as_const(pids)) {
        while (::kill(pid, 0) == 0 && !deadline.hasExpired())
            QTest::qWait(50);
        if (::kill(pid, 0) == 0)
            ::kill(pid, SIGKILL);
    }
}

PrivateBus::~PrivateBus()
{
    endServices();
    QDBusConnection::disconnectFromBus(connectionName_);
    for (const QString &name : std::as_const(otherConnections_))
        QDBusConnection::disconnectFromBus(name);
    for (auto &client : clients_) {
        client->terminate();
        if (!client->waitForFinished(3000)) {
            client->kill();
            client->waitForFinished(3000);
        }
    }
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection::connectToBus(address_, connectionName_);
}

QDBusConnection PrivateBus::connection(const QString &name) const
{
    const QString full = connectionName_ + QLatin1Char('-') + name;
    if (!otherConnections_.contains(full))
        otherConnections_ << full;
    return QDBusConnection::connectToBus(address_, full);
}

void PrivateBus::setUpKde(const Setup &setup)
{
    const QString root = dir_.path();
    writeFile(root + QStringLiteral("/services/kde.service"),
              service("org.freedesktop.impl.portal.desktop.kde",
                      QStringLiteral("/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde")));
    if (setup.kglobalaccel) {
        writeFile(root + QStringLiteral("/services/kglobalaccel.service"),
                  service("org.kde.kglobalaccel", QStringLiteral("/usr/bin/kglobalaccel5")));
    }
    QFile::copy(QStringLiteral("/usr/share/xdg-desktop-portal/portals/kde.portal"),
                root + QStringLiteral("/portals/kde.portal"));
}

void PrivateBus::setUpHome()
{
    const QString root = dir_.path();
    for (const char *folder : {"home/.config", "home/.local/share", "home/.cache", "bin"})
        QDir(root).mkpath(QString::fromLatin1(folder));
    // System Settings is not there: what would have opened it is written down.
    const QString xdgOpen = root + QStringLiteral("/bin/xdg-open");
    writeFile(xdgOpen, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"" +
                           (root + QStringLiteral("/opened.log")).toUtf8() + "\"\n");
    QFile::setPermissions(xdgOpen, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment PrivateBus::environment() const
{
    QProcessEnvironment env = env_;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    return env;
}

QStringList PrivateBus::opened() const
{
    QFile log(dir_.filePath(QStringLiteral("opened.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

namespace
{
QDBusMessage kglobalaccel(const QString &path, const QString &interface, const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), path, interface,
                                          method);
}
} // namespace

QStringList PrivateBus::components() const
{
    const QDBusMessage reply = connection().call(
        kglobalaccel(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
                     QStringLiteral("allComponents")),
        QDBus::Block, 10000);
    QStringList paths;
    QList<QDBusObjectPath> objects;
    if (reply.type() == QDBusMessage::ReplyMessage) {
        reply.arguments().value(0).value<QDBusArgument>() >> objects;
    }
    for (const QDBusObjectPath &object : std::as_const(objects))
        paths << object.path();
    return paths;
}

bool PrivateBus::invokeShortcut(const QString &componentPath, const QString &action) const
{
    QDBusMessage call =
        kglobalaccel(componentPath, QStringLiteral("org.kde.kglobalaccel.Component"),
                     QStringLiteral("invokeShortcut"));
    call << action;
    return connection().call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

QList<int> PrivateBus::keysOf(const QString &component, const QString &action) const
{
    QDBusMessage call =
        kglobalaccel(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
                     QStringLiteral("shortcut"));
    call << QStringList{component, action, component, action};
    const QDBusMessage reply = connection().call(call, QDBus::Block, 10000);
    QList<int> keys;
    if (reply.type() == QDBusMessage::ReplyMessage)
        reply.arguments().value(0).value<QDBusArgument>() >> keys;
    return keys;
}

bool PrivateBus::startClient(const QString &program, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    const bool started = process->waitForStarted(5000);
    clients_.push_back(std::move(process));
    return started;
}

bool PrivateBus::waitForName(const QString &name, int ms) const
{
    QDeadlineTimer deadline(ms);
    do {
        if (connection().interface()->isServiceRegistered(name))
            return true;
        QTest::qWait(50);
    } while (!deadline.hasExpired());
    return false;
}

bool PrivateBus::stopOwner(const QString &name)
{
    const QDBusReply<uint> pid = connection().interface()->servicePid(name);
    if (!pid.isValid() || pid.value() == 0)
        return false;
    ::kill(pid_t(pid.value()), SIGTERM);
    QDeadlineTimer deadline(10000);
    while (connection().interface()->isServiceRegistered(name) && !deadline.hasExpired())
        QTest::qWait(50);
    return !connection().interface()->isServiceRegistered(name);
}

int PrivateBus::press(const QString &id) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.desktop.varneltest"),
        QStringLiteral("/org/varnel/test"), QStringLiteral("org.varnel.test.Shortcuts"),
        QStringLiteral("Press"));
    call << id;
    const QDBusMessage reply = connection().call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toInt() : -1;
}

QString PrivateBus::bound() const
{
    const QDBusMessage reply =
        connection().call(QDBusMessage::createMethodCall(
                              QStringLiteral("org.freedesktop.impl.portal.desktop.varneltest"),
                              QStringLiteral("/org/varnel/test"),
                              QStringLiteral("org.varnel.test.Shortcuts"), QStringLiteral("Bound")),
                          QDBus::Block, 5000);
    return reply.arguments().value(0).toString();
}

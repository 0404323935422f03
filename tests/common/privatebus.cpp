#include "privatebus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
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
    if (setup.globalShortcuts) {
        writeFile(root + QStringLiteral("/services/backend.service"),
                  service("org.freedesktop.impl.portal.desktop.varneltest",
                          QStringLiteral(VARNEL_TEST_SHORTCUTS_BACKEND)));
        writeFile(root + QStringLiteral("/portals/varneltest.portal"),
                  "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.varneltest\n"
                  "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts\nUseIn=varneltest\n");
    }
    // The services the bus starts inherit its environment.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), root + QStringLiteral("/portals"));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("varneltest"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("VARNEL_TEST_BIND_RESPONSE"), QString::number(setup.bindResponse));
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

PrivateBus::~PrivateBus()
{
    QDBusConnection::disconnectFromBus(connectionName_);
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

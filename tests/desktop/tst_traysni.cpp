// The tray icon through StatusNotifierItem, the D-Bus tray of KDE, Ubuntu's
// GNOME and most panels: a real watcher and host (Debian's standalone ones)
// on the test's own session bus, started after the program, as a panel that
// comes up late at login would be. Runs once per program: Qt decides the kind
// of its tray icons once.

#include "desktoptesthelpers.h"
#include "frmico.h"
#include "testmain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QtTest>

#include <memory>

namespace
{
QStringList registeredItems()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("RegisteredStatusNotifierItems");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 3000);
    return reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
}

std::unique_ptr<QProcess> start(const QString &program, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    return process->waitForStarted(5000) ? std::move(process) : nullptr;
}

void stop(std::unique_ptr<QProcess> &process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(5000);
    process.reset();
}
} // namespace

class TestTraySni : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void lateHostGetsTheIconAndAClickShowsTheMainWindow();

  private:
    std::unique_ptr<QProcess> watcher_;
    std::unique_ptr<QProcess> host_;
};

void TestTraySni::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no private session bus");
}

void TestTraySni::cleanupTestCase()
{
    stop(host_);
    stop(watcher_);
}

void TestTraySni::lateHostGetsTheIconAndAClickShowsTheMainWindow()
{
    FakeWindows windows;
    Frmico tray;
    tray.Load(false);
    QVERIFY(!tray.isIconShown());

    watcher_ = start(QStringLiteral("status-notifier-watcher"), {});
    QVERIFY(watcher_);
    host_ = start(QStringLiteral("gtk-sni-tray-standalone"),
                  {QStringLiteral("--bottom"), QStringLiteral("--size"), QStringLiteral("30")});
    QVERIFY(host_);
    QTRY_VERIFY_WITH_TIMEOUT(tray.isIconShown(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), 1, 20000);
    // Registered by its connection's name (or its service name): ours.
    const QString item = registeredItems().first().section(QLatin1Char('/'), 0, 0);
    QCOMPARE(QDBusConnection::sessionBus().interface()->servicePid(item).value(),
             uint(QCoreApplication::applicationPid()));

    // A left click on the icon, first in the host's bar along the bottom.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint icon(screen.left() + 15, screen.bottom() - 14);
    for (int attempt = 0; attempt < 40 && windows.shows == 0; ++attempt) {
        xdotool({QStringLiteral("mousemove"), QString::number(icon.x()), QString::number(icon.y()),
                 QStringLiteral("click"), QStringLiteral("1")});
        QTest::qWait(250);
    }
    QCOMPARE(windows.shows, 1);
}

VARNEL_TEST_CLASS(TestTraySni);
#include "tst_traysni.moc"

// Journeys on the desktops' own components: a panel that comes up after the
// program, as at logon.

#include "../desktop/rawxgrab.h"
#include "desktopparts.h"
#include "e2eharness.h"
#include "journeydriver.h"
#include "privatebus.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

using namespace journey;

namespace
{
const QString kNotice = QStringLiteral("^Varnel提示$");

PrivateBus::Setup xfceWithoutPortal()
{
    PrivateBus::Setup setup;
    setup.portal = false;
    setup.globalShortcuts = false;
    setup.xfconf = true;
    return setup;
}
} // namespace

class JourneyLatePanel : public QObject
{
    Q_OBJECT
  private slots:
    // Autostart on, Ctrl+1 held by another program: the tray is the only way
    // back, and the panel starts 2.5 s after the program. The program waits
    // for it instead of asking for the password, and the icon works.
    void trayStartWaitsForThePanel()
    {
        RawXGrab other;
        QVERIFY(other.ok() && other.grab({0}));
        PrivateBus bus(xfceWithoutPortal());
        QVERIFY(bus.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("update 系统用户表 set auto=1"));
        folder.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        RunningProgram program(folder);
        QElapsedTimer started;
        started.start();
        while (started.elapsed() < 2500) // the panel of a session that is still starting
            QTest::qWait(100);
        XfcePanel panel(bus);
        QVERIFY2(panel.ok(), "xfce4-panel did not come up");
        // The icon makes the panel grow beyond its empty tray.
        QTRY_VERIFY_WITH_TIMEOUT(panel.area().width() > 24, 30000);

        // Nothing says the program cannot be reached, now or later.
        QVERIFY2(waitForLogin(qMax(1000, 15000 - int(started.elapsed()))).isEmpty(),
                 "the start gave up before the panel came");
        QVERIFY(x11::windows(kNotice).isEmpty());
        QVERIFY(program.isRunning());

        const QRect icon = panel.area();
        x11::xdotool({QStringLiteral("mousemove"), QString::number(icon.right() - 14),
                      QString::number(icon.center().y()), QStringLiteral("click"),
                      QStringLiteral("1")});
        QVERIFY2(!waitForMain().isEmpty(), "a left click on the icon did not show the window");
    }
};
VARNEL_TEST_CLASS(JourneyLatePanel);

#include "tst_desktopjourneys.moc"

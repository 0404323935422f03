// Journeys on the desktops' own components: a panel that comes up after the
// program, as at logon, and a KDE Wayland session (KWin with XWayland, KDE's
// portal backend, KWin's kglobalaccel), and Chinese typed through fcitx5 and
// IBus.

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
const QString kNoticeTitle = QStringLiteral("^Varnel提示$");

PrivateBus::Setup xfceWithoutPortal()
{
    PrivateBus::Setup setup;
    setup.portal = false;
    setup.globalShortcuts = false;
    setup.xfconf = true;
    return setup;
}
PrivateBus::Setup kdeInKWin()
{
    PrivateBus::Setup setup;
    setup.kde = true;
    setup.kglobalaccel = false; // KWin's own
    return setup;
}

// The session's display numbers: the journeys' own.
constexpr int kKWinDisplay = 176;
// 退出 on the main window's title strip, shown while there is no tray icon.
const QPoint kLab_exit(348, 11);
} // namespace

Q_DECLARE_METATYPE(InputMethod::Kind)

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
        // The icon makes the panel grow beyond its empty tray (12 pixels).
        QTRY_VERIFY_WITH_TIMEOUT(panel.area().width() > 20, 30000);

        // Nothing says the program cannot be reached, now or later.
        QVERIFY2(waitForLogin(qMax(1000, 15000 - int(started.elapsed()))).isEmpty(),
                 "the start gave up before the panel came");
        QVERIFY(x11::windows(kNoticeTitle).isEmpty());
        QVERIFY(program.isRunning());

        const QRect icon = panel.area();
        x11::xdotool({QStringLiteral("mousemove"), QString::number(icon.center().x()),
                      QString::number(icon.center().y()), QStringLiteral("click"),
                      QStringLiteral("1")});
        const QString main = waitForMain();
        QVERIFY2(!main.isEmpty(), "a left click on the icon did not show the window");
        QTRY_COMPARE_WITH_TIMEOUT(x11::xdotool({QStringLiteral("getwindowfocus")}), main, 10000);
    }
};
VARNEL_TEST_CLASS(JourneyLatePanel);

class JourneyKWinWayland : public QObject
{
    Q_OBJECT
  private slots:
    // A tray start under KWin on Wayland without a panel: Ctrl+1, typed on
    // the session's keyboard, is bound through KDE's portal backend at the
    // first try, without a trip to System Settings, and brings the window
    // back after every 隐藏, in front and focused; 退出 on the title strip
    // ends the program.
    void ctrlOneThroughKdesPortal()
    {
        PrivateBus bus(kdeInKWin());
        QVERIFY(bus.ok());
        KWinSession session(bus, kKWinDisplay);
        QVERIFY2(session.ok(), "kwin_wayland did not come up");
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("update 系统用户表 set auto=1"));
        folder.setEnvironment(QStringLiteral("DISPLAY"), session.display());
        folder.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        RunningProgram program(folder);
        QTRY_VERIFY_WITH_TIMEOUT(!bus.components().filter(QStringLiteral("varnel")).isEmpty(),
                                 60000);

        const QRect out = KWinSession::output();
        auto pressCtrlOne = [&] {
            // The keyboard goes to the compositor's window on the test display.
            x11::xdotool({QStringLiteral("mousemove"), QString::number(out.center().x()),
                          QString::number(out.center().y())});
            x11::key(QStringLiteral("ctrl+1"));
        };
        QString main;
        {
            x11::UseDisplay xwayland(session.display());
            QVERIFY(waitForLogin(1000).isEmpty()); // reachable: no password asked
        }
        pressCtrlOne();
        {
            x11::UseDisplay xwayland(session.display());
            main = waitForMain();
            QVERIFY2(!main.isEmpty(), "Ctrl+1 did not bring up the main window");
            x11::click(main, mainwin::Lab_hide);
            QVERIFY(answerBox(QStringLiteral("Varnel提示"))); // no tray: Ctrl+1 is the way back
            QVERIFY(mainIsGone());
        }
        pressCtrlOne();
        {
            x11::UseDisplay xwayland(session.display());
            main = waitForMain();
            QVERIFY2(!main.isEmpty(), "the second Ctrl+1 did nothing");
            // Shown in front, with the keyboard.
            QTRY_COMPARE_WITH_TIMEOUT(x11::xdotool({QStringLiteral("getwindowfocus")}), main,
                                      10000);
            QCOMPARE(bus.opened(), QStringList()); // no System Settings
            QVERIFY(program.isRunning());

            // No tray, so no tray menu: the title strip's 退出 ends the program.
            x11::click(main, kLab_exit);
            QVERIFY2(program.waitForExit(15000), "退出 did not end the program");
            QCOMPARE(program.exitCode(), 0);
        }
    }
};
VARNEL_TEST_CLASS(JourneyKWinWayland);

class JourneyChineseInput : public QObject
{
    Q_OBJECT
  private slots:
    // Pinyin typed on the keyboard arrives as 你好 in the title, the body and
    // the search box, and the list follows the committed text.
    void pinyinInTitleBodyAndSearch_data()
    {
        QTest::addColumn<InputMethod::Kind>("kind");
        QTest::newRow("fcitx5") << InputMethod::Kind::Fcitx5;
        QTest::newRow("IBus") << InputMethod::Kind::IBus;
    }
    void pinyinInTitleBodyAndSearch()
    {
        QFETCH(InputMethod::Kind, kind);
        PrivateBus::Setup setup;
        setup.portal = false;
        setup.globalShortcuts = false;
        PrivateBus bus(setup);
        QVERIFY(bus.ok());
        TrayHost tray;
        QVERIFY(tray.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("insert into 企业日记 (标题, 内容) values ('其他', '别的')"));
        InputMethod input(kind, folder, bus);
        QVERIFY2(input.ok(), "the input method did not start");
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        QTRY_COMPARE(listMarks(main).size(), 1);

        auto pinyin = [&](QPoint box) {
            x11::click(main, box);
            QVERIFY(input.waitUntilComposing());
            x11::typeText(QStringLiteral("nihao"));
            x11::key(QStringLiteral("space")); // the first candidate
            QTest::qWait(300);
        };
        pinyin(mainwin::Text1);
        pinyin(mainwin::Text2);
        x11::key(QStringLiteral("F1"));
        QTRY_COMPARE_WITH_TIMEOUT(
            folder
                .scalar(QStringLiteral("select count(*) from 企业日记 where 标题 = '你好' "
                                       "and 内容 = '你好'"))
                .toInt(),
            1, 10000);
        QTRY_COMPARE(listMarks(main).size(), 2);

        pinyin(mainwin::txtCZ);
        QTRY_COMPARE_WITH_TIMEOUT(listMarks(main).size(), 1, 10000);
        QVERIFY(program.isRunning());
    }
};
VARNEL_TEST_CLASS(JourneyChineseInput);

#include "tst_desktopjourneys.moc"

// The tray window where there is no tray and no X server (the offscreen
// platform): nothing to show, nothing to grab, and everything else still works.

#include "desktoptesthelpers.h"
#include "frmico.h"
#include "testmain.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QtTest>

#include <csignal>

class TestTrayOffscreen : public QObject
{
    Q_OBJECT

  private slots:
    void noTrayAndNoHotKeyAreReportedNotFatal();
    void shownTrayWindowHidesAtItsFirstTick();
    void onlyTheLeftPressShowsTheMainWindow();
    void exitItemUnloadsMainWindowAndEndsTheLoop();
    void terminationSignalsEndTheLoopCleanly_data();
    void terminationSignalsEndTheLoopCleanly();
};

void TestTrayOffscreen::noTrayAndNoHotKeyAreReportedNotFatal()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    FakeWindows windows;
    Frmico tray;
    tray.Load(false);
    QVERIFY(!tray.isIconShown());
    QVERIFY(!tray.isHotKeyActive());
    auto *icon = tray.findChild<QSystemTrayIcon *>(QStringLiteral("Ico_Pic_q7q"));
    QVERIFY(icon);
    // No hot key: the tip promises none.
    QCOMPARE(icon->toolTip(), QStringLiteral("【点击左键】呼叫Varnel"));
    tray.Load(false); // a second load changes nothing
    tray.DelIcon();
    tray.DelIcon();
    QVERIFY(!tray.isIconShown());
    QCOMPARE(windows.shows, 0);
}

void TestTrayOffscreen::shownTrayWindowHidesAtItsFirstTick()
{
    FakeWindows windows;
    Frmico tray;
    tray.Load(true);
    QVERIFY(tray.isVisible());
    QTRY_VERIFY(!tray.isVisible());
    auto *timer = tray.findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer && !timer->isActive());
    tray.Load(true); // loaded already: no window left standing
    QVERIFY(!tray.isVisible());
}

void TestTrayOffscreen::onlyTheLeftPressShowsTheMainWindow()
{
    FakeWindows windows;
    Frmico tray;
    tray.Load(false);
    auto *icon = tray.findChild<QSystemTrayIcon *>(QStringLiteral("Ico_Pic_q7q"));
    const auto noChange = {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick,
                           QSystemTrayIcon::Context, QSystemTrayIcon::Unknown};
    for (auto reason : noChange)
        emit icon->activated(reason);
    QCoreApplication::processEvents();
    QCOMPARE(windows.shows, 0);
    emit icon->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(windows.shows, 1);
    QCOMPARE(windows.unloads, 0);

    // Without any windows installed a press is simply ignored.
    varnel::AppWindows::setCurrent(nullptr);
    emit icon->activated(QSystemTrayIcon::Trigger);
}

void TestTrayOffscreen::exitItemUnloadsMainWindowAndEndsTheLoop()
{
    FakeWindows windows;
    windows.showMainWindow();
    Frmico tray;
    tray.Load(false);
    auto *menu = tray.findChild<QMenu *>(QStringLiteral("vllist"));
    QVERIFY(menu);
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first()->text(), QStringLiteral("退出Varnel"));
    QCOMPARE(items.first()->objectName(), QStringLiteral("VlExit"));
    auto *icon = tray.findChild<QSystemTrayIcon *>(QStringLiteral("Ico_Pic_q7q"));
    QCOMPARE(icon->contextMenu(), menu);

    QTimer::singleShot(0, items.first(), &QAction::trigger);
    QCOMPARE(runApplicationLoop(), 0);
    QCOMPARE(windows.unloads, 1);
    QVERIFY(!windows.loaded);
    QVERIFY(!icon->isVisible());
}

void TestTrayOffscreen::terminationSignalsEndTheLoopCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestTrayOffscreen::terminationSignalsEndTheLoopCleanly()
{
    QFETCH(int, signal);
    struct sigaction before = {};
    ::sigaction(signal, nullptr, &before);
    {
        FakeWindows windows;
        Frmico tray;
        tray.Load(false);
        QTimer::singleShot(0, [signal] { ::raise(signal); });
        QCOMPARE(runApplicationLoop(), 0);
    }
    // The tray gone, the signal is handled as before it came.
    struct sigaction after = {};
    ::sigaction(signal, nullptr, &after);
    QCOMPARE(reinterpret_cast<void *>(after.sa_handler),
             reinterpret_cast<void *>(before.sa_handler));
}

VARNEL_TEST_CLASS(TestTrayOffscreen);
#include "tst_trayoffscreen.moc"

// The tray icon in a real tray host (trayer) under X: it docks, a left click
// shows the main window, a right click offers the one exit item, and the icon
// follows the tray host coming and going.

#include "desktoptesthelpers.h"
#include "frmico.h"
#include "testmain.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QtTest>

#include <memory>

class TestTrayX11 : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void iconDocksInTheTrayWithItsTip();
    void leftClickShowsTheMainWindow();
    void rightClickMenuEndsTheProgram();
    void iconFollowsTheTrayHost();

  private:
    bool startTrayHost();
    void stopTrayHost();
    QSystemTrayIcon *iconOf(Frmico &tray)
    {
        return tray.findChild<QSystemTrayIcon *>(QStringLiteral("Ico_Pic_q7q"));
    }
    static QPoint middleOf(const QRect &r)
    {
        return r.topLeft() + QPoint(r.width() / 2, r.height() / 2);
    }
    static bool clickAt(QPoint global, int button)
    {
        return xdotool({QStringLiteral("mousemove"), QString::number(global.x()),
                        QString::number(global.y()), QStringLiteral("click"),
                        QString::number(button)});
    }

    // The icon's window has been taken into the tray host, which sits at the
    // top right: before that it reports a box at the screen's origin.
    static bool docked(QSystemTrayIcon *icon)
    {
        const QRect r = icon->geometry();
        return !r.isEmpty() && r.x() > 0;
    }
    // Clicks the icon until the wanted effect shows. The tray host may still be
    // laying itself out right after docking, so a click can land beside the
    // icon; a few tries make the test independent of that.
    template <typename Done>
    static bool clickIconUntil(QSystemTrayIcon *icon, int button, Done done)
    {
        for (int attempt = 0; attempt < 10 && !done(); ++attempt) {
            if (!clickAt(middleOf(icon->geometry()), button))
                return false;
            QDeadlineTimer deadline(2000);
            while (!done() && !deadline.hasExpired())
                QTest::qWait(20);
        }
        return done();
    }

    std::unique_ptr<QProcess> trayer_;
};

bool TestTrayX11::startTrayHost()
{
    trayer_ = std::make_unique<QProcess>();
    trayer_->start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"),
                    QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24"),
                    QStringLiteral("--transparent"), QStringLiteral("false")});
    if (!trayer_->waitForStarted(10000))
        return false;
    // Polled like QTRY_VERIFY, which cannot be used in a function with a result.
    QDeadlineTimer deadline(30000);
    while (!QSystemTrayIcon::isSystemTrayAvailable() && !deadline.hasExpired())
        QTest::qWait(50);
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TestTrayX11::stopTrayHost()
{
    if (!trayer_)
        return;
    trayer_->kill();
    trayer_->waitForFinished(10000);
    trayer_.reset();
    // Let the application see the host go before the next test starts.
    QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 30000);
}

void TestTrayX11::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(!QSystemTrayIcon::isSystemTrayAvailable(), "a tray host is already running");
}

void TestTrayX11::cleanup()
{
    stopTrayHost();
}

void TestTrayX11::cleanupTestCase()
{
    stopTrayHost();
}

void TestTrayX11::iconDocksInTheTrayWithItsTip()
{
    QVERIFY(startTrayHost());
    FakeWindows windows;
    Frmico tray;
    tray.Load(false);
    QTRY_VERIFY(tray.isIconShown());
    QSystemTrayIcon *icon = iconOf(tray);
    QVERIFY(icon->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(docked(icon), 20000);
    QCOMPARE(icon->toolTip(), QStringLiteral("【Ctrl+1】或【点击左键】呼叫Varnel"));
    QCOMPARE(icon->icon().actualSize(QSize(24, 24)), QSize(24, 24));

    tray.DelIcon();
    QVERIFY(!tray.isIconShown());
    QVERIFY(!icon->isVisible());
    tray.DelIcon();
    QCOMPARE(windows.shows, 0);
}

void TestTrayX11::leftClickShowsTheMainWindow()
{
    QVERIFY(startTrayHost());
    FakeWindows windows;
    Frmico tray;
    tray.Load(false);
    QSystemTrayIcon *icon = iconOf(tray);
    QTRY_VERIFY_WITH_TIMEOUT(docked(icon), 20000);
    QVERIFY(clickIconUntil(icon, 1, [&] { return windows.shows > 0; }));
    QCOMPARE(windows.shows, 1);
    QCOMPARE(windows.unloads, 0);
}

void TestTrayX11::rightClickMenuEndsTheProgram()
{
    QVERIFY(startTrayHost());
    FakeWindows windows;
    windows.showMainWindow();
    Frmico tray;
    tray.Load(false);
    QSystemTrayIcon *icon = iconOf(tray);
    QTRY_VERIFY_WITH_TIMEOUT(docked(icon), 20000);
    auto *menu = tray.findChild<QMenu *>(QStringLiteral("vllist"));
    QVERIFY(menu);

    QVERIFY(clickIconUntil(icon, 3, [&] { return menu->isVisible(); }));
    QCOMPARE(windows.shows, 1); // the right press shows nothing
    QCOMPARE(menu->actions().size(), 1);
    QAction *exit = menu->actions().first();
    QCOMPARE(exit->text(), QStringLiteral("退出Varnel"));

    // Choose the item with the pointer, inside the program's main loop.
    const QPoint item = menu->mapToGlobal(middleOf(menu->actionGeometry(exit)));
    QTimer::singleShot(0, [item] { clickAt(item, 1); });
    QCOMPARE(runApplicationLoop(), 0);
    QCOMPARE(windows.unloads, 1);
    QVERIFY(!tray.isIconShown());
    QVERIFY(!icon->isVisible());
}

void TestTrayX11::iconFollowsTheTrayHost()
{
    FakeWindows windows;
    Frmico tray;
    tray.Load(false); // no tray host yet
    QVERIFY(!tray.isIconShown());

    QVERIFY(startTrayHost());
    QTRY_VERIFY_WITH_TIMEOUT(tray.isIconShown(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(docked(iconOf(tray)), 20000);

    // The host going away leaves no icon to click.
    stopTrayHost();
    QTRY_VERIFY_WITH_TIMEOUT(!tray.isIconShown(), 30000);
}

VARNEL_TEST_CLASS(TestTrayX11);
#include "tst_trayx11.moc"

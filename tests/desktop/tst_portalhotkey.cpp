// Ctrl+1 through the real xdg-desktop-portal on a private session bus, with
// the project's GlobalShortcuts backend behind it: what the program asks for,
// the shortcut firing, every way of getting no key, and the portal going away.

#include "globalhotkeybackends.h"
#include "privatebus.h"
#include "testmain.h"

#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QtTest>

namespace
{
const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kShortcut = QStringLiteral("show-main-window");
} // namespace

class TestPortalHotKey : public QObject
{
    Q_OBJECT

  private slots:
    void answers_data();
    void answers();
    void refusalIsNotAskedAgain();
    void portalGoingAwayTakesTheKeyAndItsReturnGivesItBack();
};

void TestPortalHotKey::answers_data()
{
    QTest::addColumn<bool>("portal");
    QTest::addColumn<bool>("shortcuts");
    QTest::addColumn<uint>("bindResponse");
    QTest::addColumn<bool>("bound");
    QTest::newRow("bound") << true << true << 0u << true;
    QTest::newRow("no portal") << false << false << 0u << false;
    QTest::newRow("portal without GlobalShortcuts") << true << false << 0u << false;
    QTest::newRow("refused by the user") << true << true << 1u << false;
    QTest::newRow("refused by the desktop") << true << true << 2u << false;
}

void TestPortalHotKey::answers()
{
    QFETCH(bool, portal);
    QFETCH(bool, shortcuts);
    QFETCH(uint, bindResponse);
    QFETCH(bool, bound);
    PrivateBus bus({portal, shortcuts, bindResponse});
    QVERIFY(bus.ok());
    auto key = makePortalHotKey(bus.connection());
    QSignalSpy activated(key.get(), &GlobalHotKey::activated);

    QVERIFY(!key->grab()); // the answer comes later
    QVERIFY(key->isPending());
    QTRY_VERIFY_WITH_TIMEOUT(!key->isPending(), 20000);
    QCOMPARE(key->isActive(), bound);
    QCOMPARE(key->grab(), bound);
    if (!bound) {
        QCOMPARE(bus.press(kShortcut), shortcuts && portal ? 0 : -1);
        return;
    }
    QCOMPARE(bus.bound(), kShortcut + QStringLiteral("=CTRL+1"));
    QCOMPARE(key->keyName(), QStringLiteral("Ctrl+1"));
    QCOMPARE(bus.press(QStringLiteral("another")), 0);
    QCOMPARE(bus.press(kShortcut), 1);
    QTRY_COMPARE(activated.size(), 1);

    // Given back: the desktop's session is closed and nothing fires.
    key->release();
    QVERIFY(!key->isActive());
    QTRY_COMPARE(bus.press(kShortcut), 0);
}

void TestPortalHotKey::refusalIsNotAskedAgain()
{
    PrivateBus bus({true, true, 1});
    QVERIFY(bus.ok());
    auto key = makePortalHotKey(bus.connection());
    key->grab();
    QTRY_VERIFY_WITH_TIMEOUT(!key->isPending(), 20000);
    QVERIFY(!key->grab());
    QVERIFY(!key->isPending()); // no second question to the user
}

void TestPortalHotKey::portalGoingAwayTakesTheKeyAndItsReturnGivesItBack()
{
    PrivateBus bus({});
    QVERIFY(bus.ok());
    auto key = makePortalHotKey(bus.connection());
    QSignalSpy activated(key.get(), &GlobalHotKey::activated);
    key->grab();
    QTRY_VERIFY_WITH_TIMEOUT(key->isActive(), 20000);

    QSignalSpy changed(key.get(), &GlobalHotKey::stateChanged);
    QVERIFY(bus.stopOwner(kPortal));
    QTRY_VERIFY(!key->isActive());
    QVERIFY(!changed.isEmpty());

    // Anything that starts the portal again (here the test, on a desktop the
    // session) brings the key back without being asked.
    QVERIFY(bus.connection().interface()->startService(kPortal).isValid());
    QTRY_VERIFY_WITH_TIMEOUT(key->isActive(), 20000);
    QVERIFY(bus.press(kShortcut) >= 1); // the backend still knows the dead session too
    QTRY_COMPARE(activated.size(), 1);
}

VARNEL_TEST_CLASS(TestPortalHotKey);
#include "tst_portalhotkey.moc"

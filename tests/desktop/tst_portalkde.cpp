// Ctrl+1 through KDE's own GlobalShortcuts backend (xdg-desktop-portal-kde
// with kglobalaccel) behind the real xdg-desktop-portal, on a private session
// bus of the test X server: the key binds at the first try without a trip to
// System Settings, fires through kglobalaccel and through the keyboard, and
// keeps one name with kglobalaccel across hides and runs, so a key the user
// picks there lasts.

#include "desktoptesthelpers.h"
#include "globalhotkeybackends.h"
#include "privatebus.h"
#include "testmain.h"

#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>

namespace
{
const QString kAction = QStringLiteral("show-main-window");

// The component kglobalaccel keeps the program's shortcut under.
QStringList ours(const QStringList &components)
{
    return components.filter(QStringLiteral("varnel"));
}

PrivateBus::Setup kdeDesktop()
{
    PrivateBus::Setup setup;
    setup.kde = true;
    return setup;
}

// The bus's answer can take a while: KDE's backend and kglobalaccel are
// started on demand.
constexpr int kStartMs = 60000;
} // namespace

class TestPortalKde : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void bindsAtOnceAndFires();
    void oneNameAcrossHidesAndRuns();
    void keyHeldByAnotherProgramOpensSettingsOnce();
};

void TestPortalKde::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "KDE's backend needs the X server");
}

void TestPortalKde::bindsAtOnceAndFires()
{
    PrivateBus bus(kdeDesktop());
    QVERIFY(bus.ok());
    auto key = makePortalHotKey(bus.connection());
    QSignalSpy activated(key.get(), &GlobalHotKey::activated);
    key->grab();
    QTRY_VERIFY_WITH_TIMEOUT(!key->isPending(), kStartMs);
    QVERIFY2(key->isActive(), "KDE did not bind the shortcut");
    QCOMPARE(key->keyName(), QStringLiteral("Ctrl+1"));
    QCOMPARE(bus.opened(), QStringList()); // no System Settings

    const QStringList component = ours(bus.components());
    QCOMPARE(component.size(), 1);
    QCOMPARE(bus.keysOf(component.first().section(QLatin1Char('/'), -1), kAction),
             QList<int>{(Qt::CTRL | Qt::Key_1).toCombined()});
    QVERIFY(bus.invokeShortcut(component.first(), kAction));
    QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 1, 10000);

    // The keyboard: kglobalaccel holds the key on the X server.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+1")}));
    QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 2, 10000);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+shift+1")}));
    QTest::qWait(500);
    QCOMPARE(activated.size(), 2);
}

void TestPortalKde::oneNameAcrossHidesAndRuns()
{
    PrivateBus bus(kdeDesktop());
    QVERIFY(bus.ok());
    QString component;
    {
        auto key = makePortalHotKey(bus.connection(QStringLiteral("first")));
        key->grab();
        QTRY_VERIFY_WITH_TIMEOUT(key->isActive(), kStartMs);
        // Each hide asks for the key again: nothing new goes to the desktop.
        QSignalSpy changed(key.get(), &GlobalHotKey::stateChanged);
        for (int hide = 0; hide < 4; ++hide)
            QVERIFY(key->grab());
        QTest::qWait(1000);
        QVERIFY(changed.isEmpty());
        const QStringList components = ours(bus.components());
        QCOMPARE(components.size(), 1);
        component = components.first().section(QLatin1Char('/'), -1);

        // The user picks another key in System Settings.
        QDBusMessage pick = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
            QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("setForeignShortcut"));
        pick << QStringList{component, kAction, component, kAction}
             << QVariant::fromValue(QList<int>{(Qt::CTRL | Qt::Key_2).toCombined()});
        QCOMPARE(bus.connection().call(pick, QDBus::Block, 10000).type(),
                 QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(key->keyName(), QStringLiteral("Ctrl+2"), 10000);
        QVERIFY(key->isActive());
    }
    // The next run: the same name, and the key the user picked.
    auto again = makePortalHotKey(bus.connection(QStringLiteral("second")));
    again->grab();
    QTRY_VERIFY_WITH_TIMEOUT(again->isActive(), kStartMs);
    QCOMPARE(again->keyName(), QStringLiteral("Ctrl+2"));
    QCOMPARE(ours(bus.components()).size(), 1);
    QCOMPARE(bus.keysOf(component, kAction), QList<int>{(Qt::CTRL | Qt::Key_2).toCombined()});
    QCOMPARE(bus.opened(), QStringList());
}

// Ctrl+1 belongs to another program's shortcut in kglobalaccel: KDE lists
// ours without a key, and the program opens System Settings once (where the
// user can pick another key), not again at each hide.
void TestPortalKde::keyHeldByAnotherProgramOpensSettingsOnce()
{
    PrivateBus bus(kdeDesktop());
    QVERIFY(bus.ok());
    const QStringList other{QStringLiteral("othertool"), QStringLiteral("launch"),
                            QStringLiteral("Other tool"), QStringLiteral("Launch")};
    auto kglobalaccel = [&](const QString &method) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"),
                                              QStringLiteral("/kglobalaccel"),
                                              QStringLiteral("org.kde.KGlobalAccel"), method);
    };
    QDBusMessage doRegister = kglobalaccel(QStringLiteral("doRegister"));
    doRegister << other;
    QCOMPARE(bus.connection().call(doRegister, QDBus::Block, 30000).type(),
             QDBusMessage::ReplyMessage);
    QDBusMessage take = kglobalaccel(QStringLiteral("setShortcut"));
    take << other << QVariant::fromValue(QList<int>{(Qt::CTRL | Qt::Key_1).toCombined()})
         << uint(2 | 4); // present, not loaded from the settings
    QCOMPARE(bus.connection().call(take, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(bus.keysOf(other.first(), other.at(1)),
             QList<int>{(Qt::CTRL | Qt::Key_1).toCombined()});

    auto key = makePortalHotKey(bus.connection());
    key->grab();
    QTRY_VERIFY_WITH_TIMEOUT(!key->isPending(), kStartMs);
    QVERIFY(!key->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(bus.opened().size(), 1, 10000);
    QVERIFY(bus.opened().first().contains(QStringLiteral("kcm_keys")));
    for (int hide = 0; hide < 4; ++hide)
        QVERIFY(!key->grab());
    QTest::qWait(2000);
    QCOMPARE(bus.opened().size(), 1);
    QVERIFY(!key->isPending());
}

VARNEL_TEST_CLASS(TestPortalKde);
#include "tst_portalkde.moc"

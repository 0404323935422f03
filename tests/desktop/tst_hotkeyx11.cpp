// Ctrl+1 through a real X server: which chords bring up the main window, the
// lock keys, a key already taken by another program, and giving it back.

#include "desktoptesthelpers.h"
#include "frmico.h"
#include "globalhotkey.h"
#include "globalhotkeybackends.h"
#include "privatebus.h"
#include "rawxgrab.h"
#include "testmain.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace
{
bool key(const QString &chord)
{
    return xdotool({QStringLiteral("key"), chord});
}

// Toggles a lock key on for its lifetime.
class LockOn
{
  public:
    explicit LockOn(QString lockKey) : key_(std::move(lockKey)) { ok_ = key(key_); }
    ~LockOn()
    {
        if (ok_)
            key(key_);
    }
    bool ok() const { return ok_; }

  private:
    QString key_;
    bool ok_ = false;
};
} // namespace

class TestHotKeyX11 : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void ctrlOneShowsTheMainWindow();
    void worksWithNumLockAndCapsLock_data();
    void worksWithNumLockAndCapsLock();
    void otherChordsDoNothing_data();
    void otherChordsDoNothing();
    void keyTakenElsewhereFailsQuietly();
    void keyIsFreeAgainAfterTheTrayGoes();
    void keyLetGoElsewhereIsTakenOnRetry();
    void refusedGrabFallsBackToThePortal_data();
    void refusedGrabFallsBackToThePortal();

  private:
    std::unique_ptr<FakeWindows> windows_;
    std::unique_ptr<Frmico> tray_;
};

void TestHotKeyX11::init()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    windows_ = std::make_unique<FakeWindows>();
    tray_ = std::make_unique<Frmico>();
}

void TestHotKeyX11::cleanup()
{
    tray_.reset();
    windows_.reset();
}

void TestHotKeyX11::ctrlOneShowsTheMainWindow()
{
    tray_->Load(false);
    QVERIFY(tray_->isHotKeyActive());
    QVERIFY(key(QStringLiteral("ctrl+1")));
    QTRY_COMPARE(windows_->shows, 1);
    QVERIFY(key(QStringLiteral("ctrl+1")));
    QTRY_COMPARE(windows_->shows, 2);
}

void TestHotKeyX11::worksWithNumLockAndCapsLock_data()
{
    QTest::addColumn<QStringList>("locks");
    QTest::newRow("NumLock") << QStringList{QStringLiteral("Num_Lock")};
    QTest::newRow("CapsLock") << QStringList{QStringLiteral("Caps_Lock")};
    QTest::newRow("both") << QStringList{QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock")};
}

void TestHotKeyX11::worksWithNumLockAndCapsLock()
{
    QFETCH(QStringList, locks);
    tray_->Load(false);
    QVERIFY(tray_->isHotKeyActive());
    std::vector<std::unique_ptr<LockOn>> on;
    for (const QString &lock : std::as_const(locks)) {
        on.push_back(std::make_unique<LockOn>(lock));
        QVERIFY(on.back()->ok());
    }
    QVERIFY(key(QStringLiteral("ctrl+1")));
    QTRY_COMPARE(windows_->shows, 1);
}

void TestHotKeyX11::otherChordsDoNothing_data()
{
    QTest::addColumn<QString>("chord");
    QTest::newRow("ctrl+shift+1") << QStringLiteral("ctrl+shift+1");
    QTest::newRow("alt+1") << QStringLiteral("alt+1");
    QTest::newRow("ctrl+alt+1") << QStringLiteral("ctrl+alt+1");
    QTest::newRow("ctrl+super+1") << QStringLiteral("ctrl+super+1");
    QTest::newRow("ctrl+KP_1") << QStringLiteral("ctrl+KP_1");
    QTest::newRow("bare 1") << QStringLiteral("1");
    QTest::newRow("ctrl+2") << QStringLiteral("ctrl+2");
}

void TestHotKeyX11::otherChordsDoNothing()
{
    QFETCH(QString, chord);
    tray_->Load(false);
    QVERIFY(tray_->isHotKeyActive());
    QVERIFY(key(chord));
    // The server delivers in order: once the real chord that follows has
    // arrived, the one before it has been handled (or ignored) too.
    QVERIFY(key(QStringLiteral("ctrl+1")));
    QTRY_COMPARE(windows_->shows, 1);
    QCoreApplication::processEvents();
    QCOMPARE(windows_->shows, 1);
}

void TestHotKeyX11::keyTakenElsewhereFailsQuietly()
{
    RawXGrab other;
    QVERIFY(other.ok());
    QVERIFY(other.grab({0})); // plain Ctrl+1 only

    tray_->Load(false);
    QVERIFY(!tray_->isHotKeyActive());

    // Nothing half-held: once the other program lets go, every lock variant
    // is free, none kept by the failed attempt.
    other.ungrab();
    RawXGrab third;
    QVERIFY(third.grab(RawXGrab::allLockVariants()));
    third.ungrab();

    // A fresh try, with the key free, succeeds.
    auto hotKey = GlobalHotKey::create();
    QVERIFY(hotKey->grab());
    QVERIFY(hotKey->isActive());
}

void TestHotKeyX11::keyIsFreeAgainAfterTheTrayGoes()
{
    tray_->Load(false);
    QVERIFY(tray_->isHotKeyActive());
    {
        RawXGrab other;
        QVERIFY(other.ok());
        QVERIFY(!other.grab({0})); // held by the tray
        QVERIFY(!other.grab({XCB_MOD_MASK_2}));
    }
    tray_.reset();
    RawXGrab other;
    QVERIFY(other.grab(RawXGrab::allLockVariants()));
}

void TestHotKeyX11::keyLetGoElsewhereIsTakenOnRetry()
{
    RawXGrab other;
    QVERIFY(other.ok());
    QVERIFY(other.grab({0}));
    tray_->Load(false);
    QVERIFY(!tray_->isHotKeyActive());
    QVERIFY(!tray_->isHotKeyPending());
    tray_->retryHotKey(); // still held elsewhere
    QVERIFY(!tray_->isHotKeyActive());

    other.ungrab();
    tray_->retryHotKey();
    QVERIFY(tray_->isHotKeyActive());
    QVERIFY(key(QStringLiteral("ctrl+1")));
    QTRY_COMPARE(windows_->shows, 1);
}

void TestHotKeyX11::refusedGrabFallsBackToThePortal_data()
{
    QTest::addColumn<bool>("portal");
    QTest::newRow("portal binds it") << true;
    QTest::newRow("no portal either") << false;
}

void TestHotKeyX11::refusedGrabFallsBackToThePortal()
{
    QFETCH(bool, portal);
    RawXGrab other;
    QVERIFY(other.ok());
    QVERIFY(other.grab({0}));
    PrivateBus bus({portal, portal, 0});
    QVERIFY(bus.ok());
    auto hotKey = makeSessionHotKey(makeX11HotKey(), makePortalHotKey(bus.connection()));
    QSignalSpy activated(hotKey.get(), &GlobalHotKey::activated);
    QVERIFY(!hotKey->grab());
    QTRY_VERIFY_WITH_TIMEOUT(!hotKey->isPending(), 20000);
    QCOMPARE(hotKey->isActive(), portal);
    if (portal) {
        QCOMPARE(bus.press(QStringLiteral("show-main-window")), 1);
        QTRY_COMPARE(activated.size(), 1);
    }
}

VARNEL_TEST_CLASS(TestHotKeyX11);
#include "tst_hotkeyx11.moc"

// Main: single copy, settings row, tray or login.

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "dialogs.h"
#include "fakewindows.h"
#include "frmlogin.h"
#include "instancelock.h"
#include "reachnotice.h"
#include "startup.h"
#include "testfolder.h"
#include "testmain.h"

#include <QApplication>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>
#include <QtTest>

using namespace varnel;

class TestStartupSequence : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void autoOneStartsIntoTheTrayOnly();
    void otherAutoValuesShowTheLogin_data();
    void otherAutoValuesShowTheLogin();
    void trayWithNoWayBackFallsBackToLogin_data();
    void trayWithNoWayBackFallsBackToLogin();
    void lateTrayTakesBackTheNotice();
    void secondCopyIsRefused();
    void lockOfADeadProcessDoesNotBlock();
    void unusableDatabaseEndsWithItsMessage_data();
    void unusableDatabaseEndsWithItsMessage();
    void missingSettingsRowEnds();
    void closingTheLoginEndsTheEventLoop();

  private:
    std::unique_ptr<TestFolder> folder_;
    std::unique_ptr<FakeAppWindows> windows_;
    DialogAnswerer answerer_;
};

void TestStartupSequence::init()
{
    folder_ = std::make_unique<TestFolder>();
    QVERIFY(folder_->ok());
    windows_ = std::make_unique<FakeAppWindows>();
    answerer_.clear();
}

void TestStartupSequence::cleanup()
{
    frmLogin::unloadIfLoaded();
    InstanceLock::release();
    windows_.reset();
    folder_.reset();
}

void TestStartupSequence::autoOneStartsIntoTheTrayOnly()
{
    TestFolder::exec(QStringLiteral("update 系统用户表 set auto=1"));
    QCOMPARE(Main(*windows_), std::nullopt);
    QCOMPARE(windows_->calls, QStringList({"loadTray(hidden)"}));
    QVERIFY(!frmLogin::instance());
    QVERIFY(InstanceLock::isHeld());
}

void TestStartupSequence::otherAutoValuesShowTheLogin_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("0") << "0";
    QTest::newRow("2") << "2";
    QTest::newRow("Null") << "NULL";
    QTest::newRow("text") << "'yes'";
    QTest::newRow("out of 16-bit range") << "65537";
}

void TestStartupSequence::otherAutoValuesShowTheLogin()
{
    QFETCH(QString, value);
    TestFolder::exec(QStringLiteral("update 系统用户表 set auto=%1").arg(value));
    QCOMPARE(Main(*windows_), std::nullopt);
    QVERIFY(windows_->calls.isEmpty());
    QVERIFY(frmLogin::instance());
    QVERIFY(frmLogin::instance()->isVisible());
    QVERIFY(answerer_.seen().isEmpty());
}

void TestStartupSequence::trayWithNoWayBackFallsBackToLogin_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("hotKey");
    QTest::addColumn<bool>("answerLater"); // the key's answer or the panel comes later
    QTest::newRow("neither") << false << false << false;
    QTest::newRow("tray only") << true << false << false;
    QTest::newRow("hot key only") << false << true << false;
    QTest::newRow("key refused after a wait") << false << false << true;
    QTest::newRow("key granted after a wait") << false << true << true;
    QTest::newRow("panel after a wait") << true << false << true;
}

void TestStartupSequence::trayWithNoWayBackFallsBackToLogin()
{
    QFETCH(bool, tray);
    QFETCH(bool, hotKey);
    QFETCH(bool, answerLater);
    ReachNotice::forget();
    TestFolder::exec(QStringLiteral("update 系统用户表 set auto=1"));
    windows_->iconShown = tray && !answerLater;
    windows_->hotKey = hotKey && !answerLater;
    windows_->answerLater = answerLater;
    QCOMPARE(Main(*windows_), std::nullopt);
    QCOMPARE(windows_->calls, QStringList({"loadTray(hidden)"}));
    if (answerLater) {
        QVERIFY(!frmLogin::instance()); // no decision before the answer
        QVERIFY(answerer_.seen().isEmpty());
        windows_->iconShown = tray;
        windows_->hotKey = hotKey;
        windows_->settle();
    }
    const bool unreachable = !tray && !hotKey;
    QCOMPARE(frmLogin::instance() != nullptr, unreachable);
    // The user is told why the password is asked for after all.
    QMessageBox *notice = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            notice = box;
    }
    QCOMPARE(notice != nullptr, unreachable);
    if (notice) {
        QCOMPARE(notice->text(), ReachNotice::text(false, false));
        notice->close();
    }
}

void TestStartupSequence::lateTrayTakesBackTheNotice()
{
    ReachNotice::forget();
    TestFolder::exec(QStringLiteral("update 系统用户表 set auto=1"));
    windows_->iconShown = false;
    windows_->hotKey = false;
    windows_->answerLater = true;
    QCOMPARE(Main(*windows_), std::nullopt);
    windows_->settle(); // neither came in time
    QVERIFY(frmLogin::instance());
    QPointer<QMessageBox> notice;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            notice = box;
    }
    QVERIFY(notice);
    windows_->iconShown = true; // the panel, later still
    windows_->settle();
    QTRY_VERIFY(!notice || !notice->isVisible());
    QVERIFY(frmLogin::instance()); // the password is still asked for
}

void TestStartupSequence::secondCopyIsRefused()
{
    QLockFile firstCopy(InstanceLock::path());
    QVERIFY(firstCopy.tryLock(0));
    // Without a database any access would show a different message.
    QVERIFY(QFile::remove(databasePath()));
    ShutdownDb();
    answerer_.answerMessage(QMessageBox::Ok);
    const auto code = Main(*windows_);
    QVERIFY(code.has_value() && *code != 0);
    QCOMPARE(answerer_.seen().size(), 1);
    QCOMPARE(answerer_.last().text, QStringLiteral("Varnel软件已经运行！"));
    QCOMPARE(answerer_.last().title, QStringLiteral("Varnel提示！"));
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(windows_->calls.isEmpty());
    QVERIFY(!frmLogin::instance());
    QVERIFY(!QFile::exists(databasePath()));
    // The first copy keeps its lock.
    QVERIFY(firstCopy.isLocked());
    QVERIFY(QFile::exists(InstanceLock::path()));
}

void TestStartupSequence::lockOfADeadProcessDoesNotBlock()
{
    // A lock file left by a crashed copy: its process id names no process.
    QFile stale(InstanceLock::path());
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("2147483000\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
                QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    QCOMPARE(Main(*windows_), std::nullopt);
    QVERIFY(answerer_.seen().isEmpty());
    QVERIFY(frmLogin::instance());
}

void TestStartupSequence::unusableDatabaseEndsWithItsMessage_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << "missing"
                             << "不存在";
    QTest::newRow("other key") << "other key"
                               << "密码不正确";
    QTest::newRow("not a database") << "garbage"
                                    << "不是本软件的数据库";
}

void TestStartupSequence::unusableDatabaseEndsWithItsMessage()
{
    QFETCH(QString, damage);
    QFETCH(QString, cause);
    ShutdownDb();
    QVERIFY(QFile::remove(databasePath()));
    if (damage == u"other key") {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(databasePath().toUtf8().constData(), &db), SQLITE_OK);
        sqlite3_key(db, "not-the-key", 11);
        sqlite3_exec(db, "create table t(x);", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    } else if (damage == u"garbage") {
        QFile file(databasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    }
    answerer_.answerMessage(QMessageBox::Ok);
    const auto code = Main(*windows_);
    QVERIFY(code.has_value() && *code != 0);
    QCOMPARE(answerer_.seen().size(), 1);
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("pelbrook_data.Tandrel")));
    QVERIFY2(answerer_.last().text.contains(cause), qPrintable(answerer_.last().text));
    QVERIFY(windows_->calls.isEmpty());
    QVERIFY(!frmLogin::instance());
    QVERIFY(!InstanceLock::isHeld()); // nothing keeps a later start out
}

void TestStartupSequence::missingSettingsRowEnds()
{
    TestFolder::exec(QStringLiteral("delete from 系统用户表"));
    answerer_.answerMessage(QMessageBox::Ok);
    const auto code = Main(*windows_);
    QVERIFY(code.has_value() && *code != 0);
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("admin")));
    QVERIFY(windows_->calls.isEmpty());
    QVERIFY(!frmLogin::instance());
}

void TestStartupSequence::closingTheLoginEndsTheEventLoop()
{
    QCOMPARE(Main(*windows_), std::nullopt);
    QVERIFY(frmLogin::instance());
    QTimer::singleShot(0, frmLogin::instance(), &QWidget::close);
    // Only a failure reaches this: the program did not end.
    QTimer::singleShot(30000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(windows_->calls.isEmpty());
}

VARNEL_TEST_CLASS(TestStartupSequence);
#include "tst_startupsequence.moc"

// The start-up password and the end of the program at the login window,
// through the real Varnelpad: typed by xdotool, a fresh start in between.

#include "e2eharness.h"
#include "journeydriver.h"
#include "testmain.h"

#include <QDir>
#include <QtTest>

#include <csignal>

using namespace journey;

namespace
{

// Sets the start-up password in the settings window of a running program.
bool setPassword(const QString &password)
{
    const QString main = loginWithEmptyPassword();
    if (main.isEmpty())
        return false;
    x11::click(main, mainwin::RePw);
    const QString settings = x11::waitForWindow(QStringLiteral("^Varnel设置$"));
    if (settings.isEmpty())
        return false;
    typeInto(settings, settings::txtXMM, password);
    typeInto(settings, settings::txtQDMM, password);
    x11::click(settings, settings::cmdQDXG);
    return answerBox(QStringLiteral("提示"));
}

QStringList lockFiles(const E2eFolder &folder)
{
    return QDir(folder.path() + QStringLiteral("/xdg-runtime"))
        .entryList({QStringLiteral("*.lock")}, QDir::Files);
}

} // namespace

class JourneyPasswordBeyondTheBmp : public QObject
{
    Q_OBJECT
  private slots:
    void setRestartAndLogIn_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("emoji last") << QStringLiteral("密码本😀");
        QTest::newRow("extension B as 3rd character") << QStringLiteral("ab𠀀cd");
    }
    void setRestartAndLogIn()
    {
        QFETCH(QString, password);
        const x11::SpareKeys keys(password);
        QVERIFY(keys.ok());
        TrayHost tray;
        E2eFolder folder;
        QVERIFY(folder.ok());
        {
            RunningProgram program(folder);
            QVERIFY2(setPassword(password), "the password was not set");
            const QString stored =
                folder.scalar(QStringLiteral("select pass from 系统用户表")).toString();
            QVERIFY2(stored.contains(password), qPrintable(stored)); // typed as meant
        }
        RunningProgram program(folder);
        const QString login = waitForLogin();
        QVERIFY(!login.isEmpty());
        x11::focus(login);
        x11::typeText(password);
        x11::key(QStringLiteral("Return"));
        QVERIFY2(!waitForMain().isEmpty(), "the password just set was refused");
    }
};
VARNEL_TEST_CLASS(JourneyPasswordBeyondTheBmp);

class JourneyTerminated : public QObject
{
    Q_OBJECT
  private slots:
    void endsCleanly_data()
    {
        QTest::addColumn<bool>("autostart");
        QTest::newRow("at the login window") << false;
        QTest::newRow("in the tray") << true;
    }
    void endsCleanly()
    {
        QFETCH(bool, autostart);
        TrayHost tray;
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("update 系统用户表 set auto=?"), {autostart ? 1 : 0});
        RunningProgram program(folder);
        if (autostart)
            QTRY_VERIFY_WITH_TIMEOUT(
                !x11::xdotool({QStringLiteral("search"), QStringLiteral("--class"),
                               QStringLiteral("Varnelpad")})
                     .isEmpty(),
                20000);
        else
            QVERIFY(!waitForLogin().isEmpty());
        QCOMPARE(lockFiles(folder).size(), 1);

        QCOMPARE(::kill(pid_t(program.pid()), SIGTERM), 0);
        QVERIFY2(program.waitForExit(10000), "SIGTERM did not end the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(lockFiles(folder), QStringList());
    }
};
VARNEL_TEST_CLASS(JourneyTerminated);

#include "tst_loginjourneys.moc"

// Journeys of a user through the real Varnelpad under an X server with a tray
// host: keys and clicks by xdotool, results read from the screen (its pixels,
// and its texts through the accessibility bus) and from the database file.

#include "../desktop/rawxgrab.h"
#include "e2eharness.h"
#include "journeydriver.h"
#include "testmain.h"

#include <QFile>
#include <QtTest>

using namespace journey;

namespace
{

void saveNote(const QString &main, const QString &title, const QString &body)
{
    typeInto(main, mainwin::Text1, title);
    typeInto(main, mainwin::Text2, body);
    x11::key(QStringLiteral("F1"));
    QTest::qWait(300);
}

int notes(const E2eFolder &folder, const QString &where = QStringLiteral("1=1"))
{
    return folder.scalar(QStringLiteral("select count(*) from 企业日记 where ") + where).toInt();
}

} // namespace

class JourneyFirstDay : public QObject
{
    Q_OBJECT
  private slots:
    void typeSaveHideAndRecall()
    {
        TrayHost tray;
        QVERIFY(tray.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY2(!main.isEmpty(), "the main window did not come up after the login");

        saveNote(main, QStringLiteral("First day"), QStringLiteral("Hello, notebook"));
        QTRY_COMPARE(notes(folder, QStringLiteral("标题='First day' and 内容='Hello, notebook'")),
                     1);
        QTRY_COMPARE(listMarks(main).size(), 1);
        QCOMPARE(listMarks(main).first().colour, 'R');

        x11::click(main, mainwin::Lab_hide);
        QVERIFY(mainIsGone());
        QVERIFY(program.isRunning());
        x11::key(QStringLiteral("ctrl+1"));
        const QString again = waitForMain();
        QVERIFY2(!again.isEmpty(), "Ctrl+1 did not bring the main window back");
        QTRY_COMPARE(listMarks(again).size(), 1);
        QCOMPARE(notes(folder), 1);
    }
};
VARNEL_TEST_CLASS(JourneyFirstDay);

class JourneySecondCopy : public QObject
{
    Q_OBJECT
  private slots:
    void secondStartIsTurnedAway()
    {
        E2eFolder folder;
        QVERIFY(folder.ok());
        RunningProgram first(folder);
        QVERIFY(!waitForLogin().isEmpty());
        RunningProgram second(folder);
        QVERIFY2(answerBox(QStringLiteral("Varnel提示！")), "no message for the second copy");
        QVERIFY(second.waitForExit(10000));
        QVERIFY(first.isRunning());
        QCOMPARE(x11::windows(kTitle).size(), 1);
    }
};
VARNEL_TEST_CLASS(JourneySecondCopy);

class JourneyCategories : public QObject
{
    Q_OBJECT
  private slots:
    void addSelectSaveAndExport()
    {
        TrayHost tray;
        ScreenReader reader;
        QVERIFY2(reader.ok(), "no session bus for reading the screen");
        E2eFolder folder;
        QVERIFY(folder.ok());
        installOpener(folder);
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        saveNote(main, QStringLiteral("Outside"), QStringLiteral("not in the category"));

        x11::click(main, mainwin::trvRoot);
        x11::click(main, mainwin::trvRoot, 3);
        x11::key(QStringLiteral("Down"));
        x11::key(QStringLiteral("Return"));
        const QString input = x11::waitForWindow(QStringLiteral("^增加分类$"));
        QVERIFY2(!input.isEmpty(), "no input box for the new category");
        x11::focus(input);
        x11::typeText(QStringLiteral("Work"));
        x11::key(QStringLiteral("Return"));
        QTRY_COMPARE(
            folder.scalar(QStringLiteral("select count(*) from 分类 where mc='Work'")).toInt(), 1);
        QTRY_COMPARE(categoryRows(main).size(), 1);

        const QPoint work(100, categoryRows(main).first());
        x11::click(main, work);
        saveNote(main, QStringLiteral("Plan A"), QStringLiteral("first line\nsecond line"));
        saveNote(main, QStringLiteral("Plan B"), QStringLiteral("another"));
        const int id = folder.scalar(QStringLiteral("select id from 分类 where mc='Work'")).toInt();
        QTRY_COMPARE(notes(folder, QStringLiteral("分类=%1").arg(id)), 2);
        // The count line follows a click on the category, as the user sees it.
        x11::click(main, work);
        QTRY_VERIFY2(reader.labels(program.pid()).contains(QStringLiteral("此分类【2】条信息")),
                     qPrintable(reader.labels(program.pid()).join(QLatin1Char('|'))));

        x11::click(main, mainwin::cmd_out);
        QVERIFY(answerBox(QStringLiteral("Varnel提示")));
        QFile exported(folder.path() + QStringLiteral("/VarnelOutNote.txt"));
        QTRY_VERIFY(exported.exists());
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(exported.readAll());
        QCOMPARE(text.count(QStringLiteral("标题：")), 2);
        QVERIFY(text.contains(QStringLiteral("标题：Plan A\r\n")));
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("first line\r?\nsecond line"))),
                 qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("Outside")));
        QTRY_VERIFY(QFile::exists(folder.path() + QStringLiteral("/bin/opened.txt")));
    }
};
VARNEL_TEST_CLASS(JourneyCategories);

class JourneyDoneAndDelete : public QObject
{
    Q_OBJECT
  private slots:
    void doneMovesDownAndDeleteLasts()
    {
        TrayHost tray;
        E2eFolder folder;
        QVERIFY(folder.ok());
        {
            RunningProgram program(folder);
            const QString main = loginWithEmptyPassword();
            QVERIFY(!main.isEmpty());
            saveNote(main, QStringLiteral("Older"), QStringLiteral("one"));
            saveNote(main, QStringLiteral("Newer"), QStringLiteral("two"));
            QTRY_COMPARE(listMarks(main).size(), 2);

            // The newest note is first; marked done it moves below the pending one.
            x11::click(main, QPoint(300, listMarks(main).at(0).y));
            x11::click(main, mainwin::cmd_ok);
            QTRY_COMPARE(notes(folder, QStringLiteral("处理=1 and 标题='Newer'")), 1);
            QTRY_VERIFY(listMarks(main).size() == 2 && listMarks(main).at(1).colour == 'B');
            QCOMPARE(listMarks(main).at(0).colour, 'R');

            // Delete the pending one, confirming.
            x11::click(main, QPoint(300, listMarks(main).at(0).y));
            x11::click(main, mainwin::cmd_del);
            QVERIFY(answerBox(QStringLiteral("提示"), QStringLiteral("alt+y")));
            QTRY_COMPARE(notes(folder), 1);
        }
        RunningProgram again(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        QTRY_COMPARE(listMarks(main).size(), 1);
        QCOMPARE(listMarks(main).first().colour, 'B');
        QCOMPARE(notes(folder, QStringLiteral("标题='Older'")), 0);
    }
};
VARNEL_TEST_CLASS(JourneyDoneAndDelete);

class JourneyPasswordAndAutostart : public QObject
{
    Q_OBJECT
  private slots:
    void passwordThenAutostart()
    {
        TrayHost tray;
        E2eFolder folder;
        QVERIFY(folder.ok());
        {
            RunningProgram program(folder);
            const QString main = loginWithEmptyPassword();
            QVERIFY(!main.isEmpty());
            x11::click(main, mainwin::RePw);
            const QString settings = x11::waitForWindow(QStringLiteral("^Varnel设置$"));
            QVERIFY2(!settings.isEmpty(), "the settings window did not open");
            typeInto(settings, settings::txtXMM, QStringLiteral("s3cret 9"));
            typeInto(settings, settings::txtQDMM, QStringLiteral("s3cret 9"));
            x11::click(settings, settings::cmdQDXG);
            QVERIFY(answerBox(QStringLiteral("提示")));
        }
        {
            RunningProgram program(folder);
            const QString login = waitForLogin();
            QVERIFY(!login.isEmpty());
            x11::focus(login);
            x11::typeText(QStringLiteral("wrong"));
            x11::key(QStringLiteral("Return"));
            QVERIFY2(answerBox(QStringLiteral("错误提示")), "a wrong password was not refused");
            QVERIFY(waitForMain(1500).isEmpty());
            x11::focus(login);
            x11::key(QStringLiteral("ctrl+a"));
            x11::typeText(QStringLiteral("s3cret 9"));
            x11::key(QStringLiteral("Return"));
            const QString main = waitForMain();
            QVERIFY2(!main.isEmpty(), "the right password was not accepted");

            x11::click(main, mainwin::RePw);
            const QString settings = x11::waitForWindow(QStringLiteral("^Varnel设置$"));
            QVERIFY(!settings.isEmpty());
            x11::click(settings, settings::autostartBox);
            QVERIFY(answerBox(QStringLiteral("Varnel软件")));
            QCOMPARE(folder.scalar(QStringLiteral("select auto from 系统用户表")).toInt(), 1);
        }
        const QString entry =
            folder.path() + QStringLiteral("/xdg-config/autostart/Pirdek.desktop");
        QVERIFY(QFile::exists(entry));
        RunningProgram program(folder);
        QTest::qWait(2000);
        QVERIFY2(waitForLogin(500).isEmpty(), "autostart still asked for the password");
        QVERIFY(waitForMain(500).isEmpty());
        x11::key(QStringLiteral("ctrl+1"));
        QVERIFY2(!waitForMain().isEmpty(), "Ctrl+1 did not open the main window");
    }
};
VARNEL_TEST_CLASS(JourneyPasswordAndAutostart);

class JourneyExit : public QObject
{
    Q_OBJECT
  private slots:
    void trayMenuEndsEverything()
    {
        TrayHost tray;
        QVERIFY(tray.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("update 系统用户表 set auto=1"));
        RunningProgram program(folder);
        QVERIFY2(quitFromTray(program), "the program did not end from its tray menu");
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(x11::xdotool({QStringLiteral("search"), QStringLiteral("--class"),
                              QStringLiteral("Varnelpad")})
                    .isEmpty());
        RawXGrab other;
        QVERIFY(other.ok());
        QVERIFY2(other.grab({0}), "Ctrl+1 is still taken after the program ended");
    }
};
VARNEL_TEST_CLASS(JourneyExit);

#include "tst_journeys.moc"

// Journeys under a real window manager (openbox), where the manager's own
// buttons act on the program's windows.

#include "e2eharness.h"
#include "journeydriver.h"
#include "testmain.h"

#include <QtTest>

using namespace journey;

class JourneyMinimiseWithDialog : public QObject
{
    Q_OBJECT
  private slots:
    // Pressing a dialog's own minimise button minimises the main window with
    // it. The program must live on: the dialog is cancelled, the main window
    // goes to the tray, and Ctrl+1 brings a working one back.
    void minimiseFromTheDialog_data()
    {
        QTest::addColumn<QPoint>("button");
        QTest::addColumn<QString>("dialogTitle");
        QTest::newRow("settings window") << mainwin::RePw << QStringLiteral("Varnel设置");
        QTest::newRow("delete confirmation") << mainwin::cmd_del << QStringLiteral("提示");
        QTest::newRow("message box") << mainwin::cmd_out << QStringLiteral("Varnel提示");
    }
    void minimiseFromTheDialog()
    {
        QFETCH(QPoint, button);
        QFETCH(QString, dialogTitle);
        WindowManager wm;
        QVERIFY(wm.ok());
        TrayHost tray;
        QVERIFY(tray.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        installOpener(folder);
        folder.exec(QStringLiteral("insert into 企业日记 (标题, 内容) values ('Kept', 'body')"));
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        QTRY_COMPARE(listMarks(main).size(), 1);
        x11::click(main, QPoint(300, listMarks(main).first().y)); // "删除" needs a note
        x11::click(main, button);
        const QString title = QLatin1Char('^') + dialogTitle + QLatin1Char('$');
        const QString dialog = x11::waitForWindow(title);
        QVERIFY2(!dialog.isEmpty(), "the dialog did not open");

        QVERIFY2(x11::pressIconify(dialog), "the dialog's iconify button did not take");
        QVERIFY2(mainIsGone(),
                 qPrintable(QStringLiteral("the main window stayed up\n") + program.output()));
        QTest::qWait(500);
        QVERIFY2(program.isRunning(), qPrintable(program.output()));
        QVERIFY(x11::waitForNoWindow(title));

        x11::key(QStringLiteral("ctrl+1"));
        const QString again = waitForMain();
        QVERIFY2(!again.isEmpty(), "Ctrl+1 did not bring the main window back");
        QTRY_COMPARE(listMarks(again).size(), 1);
        QVERIFY2(program.isRunning(), qPrintable(program.output()));
        QCOMPARE(folder.scalar(QStringLiteral("select count(*) from 企业日记")).toInt(), 1);
    }
};
VARNEL_TEST_CLASS(JourneyMinimiseWithDialog);

#include "tst_windowmanagerjourney.moc"

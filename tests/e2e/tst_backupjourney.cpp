// A user deletes a note by mistake and gets it back from the day's copy in
// data/backup, the way the README tells: quit Varnelpad, copy the backup over
// the live file, start again.

#include "e2eharness.h"
#include "journeydriver.h"
#include "testmain.h"

#include "backupcopies.h"

#include <QDate>
#include <QFile>
#include <QtTest>

using namespace journey;

class JourneyRestoreBackup : public QObject
{
    Q_OBJECT
  private slots:
    void deletedNoteComesBackFromTheCopy()
    {
        TrayHost tray;
        QVERIFY(tray.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("insert into 企业日记 (标题, 内容, 分类) values (?, ?, 0)"),
                    {QStringLiteral("Keep me"), QStringLiteral("written last week")});
        const QString live = folder.path() + QStringLiteral("/data/pelbrook_data.Tandrel");
        const QString copy = folder.path() + QStringLiteral("/data/backup/") +
                             varnel::backupcopies::copyName(QDate::currentDate());
        {
            RunningProgram program(folder);
            const QString main = loginWithEmptyPassword();
            QVERIFY(!main.isEmpty());
            QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(copy), "no copy of the day", 20000);

            QTRY_COMPARE(listMarks(main).size(), 1);
            x11::click(main, QPoint(300, listMarks(main).at(0).y));
            x11::click(main, mainwin::cmd_del);
            QVERIFY(answerBox(QStringLiteral("提示"), QStringLiteral("alt+y")));
            // Read the file once the list shows the delete done, not while
            // the program writes it.
            QTRY_COMPARE(listMarks(main).size(), 0);
            QCOMPARE(folder.scalar(QStringLiteral("select count(*) from 企业日记")).toInt(), 0);
            QVERIFY(quitFromTray(program));
        }
        QVERIFY(QFile::remove(live));
        QVERIFY(QFile::copy(copy, live));

        RunningProgram again(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        QTRY_COMPARE(listMarks(main).size(), 1);
        QCOMPARE(folder.scalar(QStringLiteral("select 内容 from 企业日记 where 标题='Keep me'"))
                     .toString(),
                 QStringLiteral("written last week"));
    }
};
VARNEL_TEST_CLASS(JourneyRestoreBackup);

#include "tst_backupjourney.moc"

// A user deletes a note by mistake and gets it back from the day's copy in
// data/backup, the way the README tells: quit Varnelpad, copy the backup over
// the live file, start again. And a Varnelpad left running past midnight
// makes the new day's copy by itself; the copies are the user's alone.

#include "e2eharness.h"
#include "journeydriver.h"
#include "testmain.h"

#include "store/backup/backupcopies.h"
#include "backupfiles.h"

#include <QDate>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>

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

namespace
{
const QString kFakeTime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1");

mode_t modeOf(const QString &path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}
} // namespace

class JourneyBackupAcrossMidnight : public QObject
{
    Q_OBJECT
  private slots:
    void newDaysCopyWhileRunning()
    {
        if (!QFile::exists(kFakeTime))
            QSKIP("libfaketime is not installed (Debian package faketime)");
        E2eFolder folder;
        QVERIFY(folder.ok());
        // The program's clock starts a minute before midnight and runs on.
        folder.setEnvironment(QStringLiteral("LD_PRELOAD"), kFakeTime);
        folder.setEnvironment(QStringLiteral("FAKETIME"), QStringLiteral("@2030-06-14 23:59:00"));
        folder.setEnvironment(QStringLiteral("DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
        const QString backup = folder.path() + QStringLiteral("/data/backup");
        const auto copyOf = [&](int day) {
            return backup + QLatin1Char('/') + varnel::backupcopies::copyName(QDate(2030, 6, day));
        };
        RunningProgram program(folder);
        QVERIFY(!waitForLogin().isEmpty());
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(copyOf(14)), "no copy at the start", 30000);
        QCOMPARE(modeOf(backup), mode_t(0700));
        QCOMPARE(modeOf(copyOf(14)), mode_t(0600));
        folder.exec(QStringLiteral("insert into 企业日记 (标题, 内容, 分类) values (?, ?, 0)"),
                    {QStringLiteral("午夜前"), QStringLiteral("写在前一天")});

        // Past midnight, with the login window still up and nobody at it.
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(copyOf(15)), "no copy of the new day", 150000);
        QVERIFY(program.isRunning());
        QCOMPARE(modeOf(copyOf(15)), mode_t(0600));
        const backupfiles::CopyView copy = backupfiles::view(copyOf(15));
        QCOMPARE(copy.integrity, QStringLiteral("ok"));
        QCOMPARE(copy.bookids.size(), backupfiles::view(copyOf(14)).bookids.size() + 1);
    }
};
VARNEL_TEST_CLASS(JourneyBackupAcrossMidnight);

#include "tst_backupjourney.moc"

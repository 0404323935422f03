// The real Varnelpad killed while it makes the day's backup, twenty times:
// the live database stays sound, the copies made before are untouched, an
// unfinished copy never looks like a finished one, and the next start removes
// it and makes the day's copy.

#include "testmain.h"

#include "store/backup/backupcopies.h"
#include "backupfiles.h"
#include "e2eharness.h"
#include "testfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

class TestBackupKilled : public QObject
{
    Q_OBJECT

  private slots:
    void killedInTheMiddleOfTheBackup();
};

void TestBackupKilled::killedInTheMiddleOfTheBackup()
{
    E2eFolder folder;
    QVERIFY(folder.ok());
    // Enough notes that a copy takes a while: a few megabytes.
    folder.exec(QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
        "insert into 企业日记 (标题, 内容, 分类) select '笔记' || i, hex(randomblob(1000)), 0 "
        "from n"));
    const QString live = folder.path() + QStringLiteral("/data/pelbrook_data.Tandrel");
    const QString backup = folder.path() + QStringLiteral("/data/backup");
    const QDate today = QDate::currentDate();
    const QString todays = backup + QLatin1Char('/') + varnel::backupcopies::copyName(today);
    QVERIFY(QDir().mkpath(backup));
    for (int daysAgo : {1, 9})
        QVERIFY(QFile::copy(live, backup + QLatin1Char('/') +
                                      varnel::backupcopies::copyName(today.addDays(-daysAgo))));
    const auto older = backupfiles::contents(backup);

    // How long a copy takes on this machine now, from its unfinished file to
    // its day's name: the kills land at random within that time, so that a
    // loaded machine (a slower copy) does not let most of them miss it.
    qint64 copyMs = 0;
    {
        RunningProgram program(folder, QStringLiteral("Varnelpad"), QStringLiteral("offscreen"));
        const QString partial =
            backup + QLatin1Char('/') + varnel::backupcopies::partialName(today, program.pid());
        QVERIFY2(QTest::qWaitFor([&]() { return QFile::exists(partial); }, 20000),
                 "no copy was started");
        QElapsedTimer copying;
        copying.start();
        QVERIFY2(QTest::qWaitFor([&]() { return QFile::exists(todays); }, 60000),
                 "the copy did not finish");
        copyMs = copying.elapsed();
    }
    QVERIFY(QFile::remove(todays));

    QRandomGenerator rng(quint32(QDateTime::currentMSecsSinceEpoch()));
    int killedUnfinished = 0;
    for (int round = 0; round < 20; ++round) {
        // Without a display: the backup runs behind the login window.
        auto program = std::make_unique<RunningProgram>(folder, QStringLiteral("Varnelpad"),
                                                        QStringLiteral("offscreen"));
        const QString partial =
            backup + QLatin1Char('/') + varnel::backupcopies::partialName(today, program->pid());
        QVERIFY2(QTest::qWaitFor([&]() { return QFile::exists(partial); }, 20000),
                 "no copy was started");
        QThread::msleep(rng.bounded(int(qMax<qint64>(copyMs, 20))));
        program.reset(); // SIGKILL

        const QStringList partials = backupfiles::partials(backup);
        // Only this round's copy can be unfinished: the start removed earlier ones.
        QVERIFY2(partials.size() <= 1, qPrintable(partials.join(QLatin1Char(' '))));
        killedUnfinished += int(partials.size());
        QCOMPARE(folder.scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
                 QStringLiteral("ok"));
        for (auto it = older.cbegin(); it != older.cend(); ++it)
            QVERIFY2(fileContents(backup + QLatin1Char('/') + it.key()) == it.value(),
                     qPrintable(it.key()));
        // A copy that got its day's name is a sound one; the next round
        // plays a new day.
        if (QFile::exists(todays)) {
            QCOMPARE(backupfiles::view(todays).integrity, QStringLiteral("ok"));
            QVERIFY(QFile::remove(todays));
        }
    }
    qInfo("%d of 20 kills left an unfinished copy", killedUnfinished);
    QVERIFY(killedUnfinished >= 8);

    RunningProgram program(folder, QStringLiteral("Varnelpad"), QStringLiteral("offscreen"));
    QVERIFY2(QTest::qWaitFor([&]() { return QFile::exists(todays); }, 30000),
             "no copy after the kills");
    QVERIFY(backupfiles::partials(backup).isEmpty());
    const backupfiles::CopyView copy = backupfiles::view(todays);
    QCOMPARE(copy.integrity, QStringLiteral("ok"));
    QCOMPARE(copy.bookids.size(), 3000);
    const auto after = backupfiles::contents(backup);
    for (auto it = older.cbegin(); it != older.cend(); ++it)
        QVERIFY(after.value(it.key()) == it.value());
}

VARNEL_TEST_CLASS(TestBackupKilled);
#include "tst_backupkilled.moc"

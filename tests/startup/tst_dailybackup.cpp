// The daily backup against the real encrypted database: which copies stay
// over the days, the keyed copy, a copy taken while notes are being saved,
// and a copy that fails its check.

#include "backupfiles.h"
#include "backupnotice.h"
#include "base/appinfo.h"
#include "store/backup/backgroundbackup.h"
#include "store/backup/backupcopies.h"
#include "store/backup/backupschedule.h"
#include "store/backup/dailybackup.h"
#include "store/database.h"
#include "store/datalayer.h"
#include "store/dbengine.h"
#include "store/onlinecopy.h"
#include "store/search/notesearch.h"
#include "testfolder.h"
#include "testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

using namespace varnel;

namespace
{

QDate on(const char *iso)
{
    return QDate::fromString(QLatin1String(iso), Qt::ISODate);
}

QList<QDate> dates(const QStringList &isos)
{
    QList<QDate> out;
    for (const QString &iso : isos)
        out.append(QDate::fromString(iso, Qt::ISODate));
    return out;
}

void changeNotebook()
{
    TestFolder::exec(
        QStringLiteral("insert into 企业日记 (标题, 内容, 分类) values ('新', '改动', 0)"));
}

// Saves one note the way the editor does; returns its bookid.
qint64 saveNote(const QString &title)
{
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记 where 1=0"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), title);
    DbRs->SetField(QStringLiteral("内容"), QStringLiteral("在备份的时候保存"));
    DbRs->SetField(QStringLiteral("分类"), 0);
    DbRs->Update();
    const qint64 id = DbRs->Field(QStringLiteral("bookid")).toLongLong();
    CloseDb();
    return id;
}

mode_t modeOf(const QString &path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// Overwrites a run of pages in the middle of the live file, where the notes
// are: the file opens, its settings read, and its notes are damaged.
void damageLiveNotes()
{
    ShutdownDb();
    QByteArray bytes = fileContents(databasePath());
    const qsizetype at = (bytes.size() / 4096) * 3 / 5 * 4096;
    bytes.replace(at, 4096 * 4, QByteArray(4096 * 4, '\x5a'));
    QVERIFY(backupfiles::writeFile(databasePath(), bytes));
}

} // namespace

class TestDailyBackup : public QObject
{
    Q_OBJECT

  private slots:
    void keepingRule_data();
    void keepingRule();
    void copiesOverTheDays();
    void copyIsKeyedAndLeftoversGo();
    void copyWhileSavingInALoop();
    void copyFailingItsCheckIsRemoved_data();
    void copyFailingItsCheckIsRemoved();
    void stoppedCopyLeavesNothing_data();
    void stoppedCopyLeavesNothing();
    void stopDuringTheCheck_data();
    void stopDuringTheCheck();
    void copiesArePrivate();
    void backupFolderTakenByAFile();
    void failureMessages_data();
    void failureMessages();
    void newDayWhileRunning();
};

void TestDailyBackup::keepingRule_data()
{
    QTest::addColumn<QStringList>("copies");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("seven or fewer all stay")
        << QStringList{"2024-03-01", "2023-01-01", "2020-06-30"}
        << QStringList{"2024-03-01", "2023-01-01", "2020-06-30"};
    // Daily 02-05..02-11; the week of 02-05 starts that day; weeks before:
    // 01-29.., 01-22.., 01-15.., 01-08.. (empty): three weekly copies.
    QTest::newRow("a week without copies")
        << QStringList{"2024-02-11", "2024-02-10", "2024-02-09", "2024-02-08",
                       "2024-02-07", "2024-02-06", "2024-02-05", "2024-02-02",
                       "2024-01-30", "2024-01-24", "2024-01-16", "2024-01-02"}
        << QStringList{"2024-02-11", "2024-02-10", "2024-02-09", "2024-02-08", "2024-02-07",
                       "2024-02-06", "2024-02-05", "2024-02-02", "2024-01-24", "2024-01-16"};
    // Sparse use: the seven newest span months; only the weeks right before
    // the oldest of them count.
    QTest::newRow("sparse copies")
        << QStringList{"2024-06-01", "2024-05-01", "2024-04-01", "2024-03-01",
                       "2024-02-01", "2024-01-20", "2024-01-15", "2024-01-14",
                       "2024-01-13", "2024-01-01", "2023-12-01"}
        << QStringList{"2024-06-01", "2024-05-01", "2024-04-01", "2024-03-01", "2024-02-01",
                       "2024-01-20", "2024-01-15", "2024-01-14", "2024-01-01"};
}

void TestDailyBackup::keepingRule()
{
    QFETCH(QStringList, copies);
    QFETCH(QStringList, kept);
    QCOMPARE(backupcopies::daysToKeep(dates(copies)), dates(kept));
}

void TestDailyBackup::copiesOverTheDays()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    // Runs of the program on these days, each after a change of the notebook.
    const QStringList runs = {"2023-12-20", "2024-01-01", "2024-01-10", "2024-01-17",
                              "2024-01-21", "2024-01-24", "2024-02-03", "2024-02-05",
                              "2024-02-06", "2024-02-07", "2024-02-08", "2024-02-09"};
    for (const QString &iso : runs) {
        changeNotebook();
        const auto outcome = backupfiles::runBackup(QDate::fromString(iso, Qt::ISODate));
        QVERIFY2(outcome.kind == DailyBackup::Outcome::Made, qPrintable(iso + outcome.reason));
        QCOMPARE(backupcopies::days(backupfiles::folder()).first(),
                 QDate::fromString(iso, Qt::ISODate));
    }
    // The seven newest, then the newest of each of the four weeks before the
    // week of 01-24 (Monday 01-22): 01-21 (not 01-17), 01-10, 01-01, none;
    // 2023-12-20 is older than that.
    const QList<QDate> expected =
        dates({"2024-02-09", "2024-02-08", "2024-02-07", "2024-02-06", "2024-02-05", "2024-02-03",
               "2024-01-24", "2024-01-21", "2024-01-10", "2024-01-01"});
    QCOMPARE(backupcopies::days(backupfiles::folder()), expected);

    // A second start the same day, and a day with nothing changed: no copy.
    const auto before = backupfiles::contents(backupfiles::folder());
    QCOMPARE(backupfiles::runBackup(on("2024-02-09")).kind, DailyBackup::Outcome::AlreadyMade);
    QCOMPARE(backupfiles::runBackup(on("2024-02-10")).kind, DailyBackup::Outcome::Unchanged);
    QVERIFY(backupfiles::contents(backupfiles::folder()) == before);
    changeNotebook();
    QCOMPARE(backupfiles::runBackup(on("2024-02-11")).kind, DailyBackup::Outcome::Made);
}

void TestDailyBackup::copyIsKeyedAndLeftoversGo()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    backupfiles::addNotes(50, 300);
    QVERIFY(QDir().mkpath(backupfiles::folder()));
    const QString backup = backupfiles::folder() + QLatin1Char('/');
    for (const char *name : {"pelbrook_data-2024-05-01.77.partial",
                             "pelbrook_data-2024-05-01.77.partial-journal", "我的说明.txt"})
        QVERIFY(backupfiles::writeFile(backup + QString::fromUtf8(name), "left behind"));
    const auto outcome = backupfiles::runBackup(on("2024-05-01"));
    QCOMPARE(outcome.kind, DailyBackup::Outcome::Made);
    QCOMPARE(QDir(backupfiles::folder()).entryList(QDir::Files),
             QStringList({"pelbrook_data-2024-05-01.Tandrel", "我的说明.txt"}));

    const QByteArray bytes = fileContents(outcome.copy);
    QCOMPARE(bytes.size(), QFileInfo(databasePath()).size());
    QVERIFY(!bytes.startsWith("SQLite format 3"));
    QProcess plain;
    plain.start(QStringLiteral("sqlite3"),
                {outcome.copy, QStringLiteral("select count(*) from 企业日记")});
    QVERIFY(plain.waitForFinished(10000));
    QVERIFY(plain.exitCode() != 0);
    QVERIFY2(plain.readAllStandardError().contains("not a database"),
             "plain sqlite3 read the copy");
    const backupfiles::CopyView copy = backupfiles::view(outcome.copy);
    QCOMPARE(copy.integrity, QStringLiteral("ok"));
    QCOMPARE(copy.bookids.size(), 50);
}

void TestDailyBackup::copyWhileSavingInALoop()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    backupfiles::addNotes(10000, 200);
    const int before = TestFolder::scalar(QStringLiteral("select count(*) from 企业日记")).toInt();
    backupfiles::Started backup(on("2024-05-01"));
    const auto &outcome = backup.outcome;
    QList<qint64> saved;
    while (!outcome) {
        saved.append(saveNote(QStringLiteral("循环 %1").arg(saved.size())));
        QTest::qWait(2);
    }
    qInfo("%lld notes saved while the copy was made", qint64(saved.size()));
    QVERIFY2(outcome->kind == DailyBackup::Outcome::Made, qPrintable(outcome->reason));

    // Every save is in the live file; the copy holds the notes as they stood
    // at one moment: the first so many of the saved ones.
    QCOMPARE(TestFolder::scalar(QStringLiteral("select count(*) from 企业日记")).toInt(),
             before + saved.size());
    const backupfiles::CopyView copy = backupfiles::view(outcome->copy);
    QCOMPARE(copy.integrity, QStringLiteral("ok"));
    QVERIFY(copy.bookids.size() >= before);
    const QList<qint64> inCopy = copy.bookids.mid(before);
    QCOMPARE(inCopy, saved.mid(0, inCopy.size()));

    // The next day's copy has the rest.
    const auto next = backupfiles::runBackup(on("2024-05-02"));
    QCOMPARE(next.kind, DailyBackup::Outcome::Made);
    QCOMPARE(backupfiles::view(next.copy).bookids.mid(before), saved);
}

void TestDailyBackup::copyFailingItsCheckIsRemoved_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("cut in half") << "cut in half";
    QTest::newRow("page overwritten") << "page overwritten";
}

void TestDailyBackup::copyFailingItsCheckIsRemoved()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QFETCH(QString, damage);
    backupfiles::addNotes(200, 1000);
    QCOMPARE(backupfiles::runBackup(on("2024-05-01")).kind, DailyBackup::Outcome::Made);
    changeNotebook();
    const auto older = backupfiles::contents(backupfiles::folder());
    const auto outcome = backupfiles::runBackup(on("2024-05-02"), [&](const QString &partial) {
        QByteArray bytes = fileContents(partial);
        if (damage == u"cut in half")
            bytes.truncate(bytes.size() / 2);
        else
            bytes.replace(4096 * 20, 4096, QByteArray(4096, '\x5a'));
        QVERIFY(backupfiles::writeFile(partial, bytes));
    });
    QCOMPARE(outcome.kind, DailyBackup::Outcome::Failed);
    QVERIFY2(outcome.reason.contains(QStringLiteral("没有通过检查")), qPrintable(outcome.reason));
    QVERIFY(backupfiles::contents(backupfiles::folder()) == older);
}

void TestDailyBackup::stoppedCopyLeavesNothing_data()
{
    QTest::addColumn<bool>("programEnds");
    QTest::addColumn<bool>("whileItBegins");
    QTest::newRow("the data layer lets go of the database") << false << false;
    QTest::newRow("the program ends") << true << false;
    // The worker is still deriving the copy's key: the object waits for it.
    QTest::newRow("the program ends as it begins") << true << true;
}

void TestDailyBackup::stoppedCopyLeavesNothing()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QFETCH(bool, programEnds);
    QFETCH(bool, whileItBegins);
    // About 18 MB: stopped once a megabyte of it is written, the copy is
    // well under way and far from done, however fast the machine.
    backupfiles::addNotes(3000, 2000);
    auto backup = std::make_unique<backupfiles::Started>(on("2024-05-01"));
    const auto written = []() {
        const QStringList partials = backupfiles::partials(backupfiles::folder());
        return partials.isEmpty()
                   ? 0
                   : QFileInfo(backupfiles::folder() + QLatin1Char('/') + partials.first()).size();
    };
    if (!whileItBegins)
        QTRY_VERIFY(written() > (1 << 20));
    if (programEnds) {
        backup.reset();
    } else {
        ShutdownDb();
        QVERIFY(backup->wait());
        QCOMPARE(backup->outcome->kind, DailyBackup::Outcome::Stopped);
    }
    QVERIFY(QDir(backupfiles::folder()).entryList(QDir::Files).isEmpty());
    QCOMPARE(TestFolder::scalar(QStringLiteral("select count(*) from 企业日记")).toInt(), 3000);
}

void TestDailyBackup::stopDuringTheCheck_data()
{
    // When the stop comes, as a share of the measured part of the check:
    // from the check's start (the copy's keyed open, whose key derivation runs
    // to its end once begun), or from the moment the key is ready (the
    // integrity check and the count).
    QTest::addColumn<double>("into");
    QTest::addColumn<bool>("inKey");
    QTest::newRow("at the copy's open") << 0.0 << true;
    QTest::newRow("in the integrity check") << 0.2 << false;
}

namespace
{

// How long one whole check takes, and the part of it after the key is ready.
struct CheckTimes {
    qint64 wholeMs = 0;
    qint64 keyMs = 0;
    qint64 afterKeyMs() const { return wholeMs - keyMs; }
};

// Runs one day's backup and stops the copies `afterMs` into its check (from
// its start, or from its key being ready when `fromKey`), as the data layer
// does before it lets go of the database; how long the stop took. `late`: the
// check was over before the stop came.
qint64 stopOneCheck(const QDate &day, bool fromKey, qint64 afterMs, DailyBackup::Outcome &outcome,
                    bool &late)
{
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> checkFrom{-1};
    std::atomic<bool> ended{false};
    DailyBackup backup(day);
    const auto mark = [&]() { checkFrom = clock.elapsed(); };
    if (fromKey)
        backup.keyed = mark;
    else
        backup.beforeCheck = [&](const QString &) { mark(); };
    if (backup.begin())
        return -1;
    while (!backup.turn()) {
    }
    std::thread worker([&]() {
        outcome = backup.end();
        ended = true;
    });
    while (!ended && (checkFrom < 0 || clock.elapsed() < checkFrom + afterMs))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    late = ended;
    QElapsedTimer stopping;
    stopping.start();
    db::OnlineCopy::stopAll();
    const qint64 stopMs = stopping.elapsed();
    worker.join();
    return stopMs;
}

// The day's backup, with its check timed as a whole and up to its key.
CheckTimes timedCheck(const QDate &day, DailyBackup::Outcome &made)
{
    CheckTimes times;
    QElapsedTimer clock;
    DailyBackup backup(day);
    backup.beforeCheck = [&clock](const QString &) { clock.start(); };
    backup.keyed = [&]() { times.keyMs = clock.elapsed(); };
    made = backup.run();
    times.wholeMs = clock.elapsed();
    return times;
}

} // namespace

// Stopping the copies during a check (its keyed open, its integrity check), as
// the data layer does before it lets go of the database, waits for a small
// part of the check at most, and the copy is not taken for a good one.
void TestDailyBackup::stopDuringTheCheck()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QFETCH(double, into);
    QFETCH(bool, inKey);
    backupfiles::addNotes(6000, 2000); // about 36 MB: the key is a small part of a check
    // The search's own reading of the file is over: the times are the copy's.
    DataLayer::current().search().waitUntilReady(30000);
    DailyBackup::Outcome made;
    const CheckTimes times = timedCheck(on("2024-05-01"), made);
    QCOMPARE(made.kind, DailyBackup::Outcome::Made);
    // A stopped copy's file goes before the stop returns: its removal counts.
    const QString scratch = backupfiles::folder() + QStringLiteral("/scratch");
    QVERIFY(QFile::copy(made.copy, scratch));
    QElapsedTimer removal;
    removal.start();
    QVERIFY(QFile::remove(scratch));
    const qint64 removeMs = removal.elapsed();
    // A check can end sooner than the measured one (that one made the folder
    // and its first copy): a stop that comes after the check is over proves
    // nothing, and is tried again sooner on the next day's copy.
    const qint64 span = inKey ? times.wholeMs : times.afterKeyMs();
    double share = into;
    qint64 stopMs = 0, afterMs = 0;
    DailyBackup::Outcome outcome;
    QMap<QString, QByteArray> before;
    for (int day = 2; day <= 5; ++day, share /= 2) {
        changeNotebook();
        before = backupfiles::contents(backupfiles::folder());
        bool late = false;
        afterMs = qint64(share * double(span));
        stopMs = stopOneCheck(on(qPrintable(QStringLiteral("2024-05-0%1").arg(day))), !inKey,
                              afterMs, outcome, late);
        QVERIFY(stopMs >= 0);
        if (!late)
            break;
        QVERIFY2(day < 5, "every check ended before the stop");
    }
    // The stop waits at most for what is left of this check (SQLite's
    // integrity check notices it only between its steps: measured, a stop
    // waits for half to nearly all of what is left), never for another part:
    // a count, the live file's check, a second key. A half of the check is
    // left for a busy machine. The key's derivation counts only if the stop
    // may have met it; the removal of the file always does.
    const qint64 bound =
        (inKey ? times.keyMs * 2 : 0) + removeMs + (span - afterMs) + times.afterKeyMs() / 2;
    qInfo("whole check %lld ms (key %lld ms, removal %lld ms), stopped %lld ms into %s in %lld ms",
          qlonglong(times.wholeMs), qlonglong(times.keyMs), qlonglong(removeMs), qlonglong(afterMs),
          inKey ? "it" : "what follows the key", qlonglong(stopMs));
    QVERIFY2(stopMs < bound,
             qPrintable(QStringLiteral("%1 ms, at most %2").arg(stopMs).arg(bound)));
    QCOMPARE(outcome.kind, DailyBackup::Outcome::Stopped);
    QVERIFY(backupfiles::contents(backupfiles::folder()) == before);
}

void TestDailyBackup::copiesArePrivate()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QVERIFY(!QFileInfo::exists(backupfiles::folder()));
    const auto made = backupfiles::runBackup(on("2024-05-01"));
    QCOMPARE(made.kind, DailyBackup::Outcome::Made);
    QCOMPARE(modeOf(backupfiles::folder()), mode_t(0700));
    QCOMPARE(modeOf(made.copy), mode_t(0600));

    // A folder the user opened up stays so; copies left readable by others
    // are made private.
    QVERIFY(::chmod(QFile::encodeName(made.copy).constData(), 0644) == 0);
    QVERIFY(::chmod(QFile::encodeName(backupfiles::folder()).constData(), 0755) == 0);
    changeNotebook();
    const auto next = backupfiles::runBackup(on("2024-05-02"));
    QCOMPARE(next.kind, DailyBackup::Outcome::Made);
    QCOMPARE(modeOf(backupfiles::folder()), mode_t(0755));
    QCOMPARE(modeOf(made.copy), mode_t(0600));
    QCOMPARE(modeOf(next.copy), mode_t(0600));
}

void TestDailyBackup::backupFolderTakenByAFile()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QVERIFY(backupfiles::writeFile(backupfiles::folder(), "not a folder"));
    const auto outcome = backupfiles::runBackup(on("2024-05-01"));
    QCOMPARE(outcome.kind, DailyBackup::Outcome::Failed);
    QVERIFY2(outcome.reason.contains(QStringLiteral("同名的文件")), qPrintable(outcome.reason));
    QVERIFY(!outcome.reason.contains(QStringLiteral("data 文件夹")));
    QCOMPARE(fileContents(backupfiles::folder()), QByteArray("not a folder"));
}

void TestDailyBackup::failureMessages_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("notebook");
    QTest::addColumn<QString>("said");
    QTest::newRow("copy cut in half")
        << "copy cut" << int(DailyBackup::Outcome::Failed)
        << int(DailyBackup::Outcome::CheckedSound) << QStringLiteral("笔记本经过检查是完好的");
    QTest::newRow("copy overwritten")
        << "copy overwritten" << int(DailyBackup::Outcome::Failed)
        << int(DailyBackup::Outcome::CheckedSound) << QStringLiteral("没有通过检查");
    QTest::newRow("notebook damaged")
        << "live" << int(DailyBackup::Outcome::LiveDamaged) << int(DailyBackup::Outcome::Damaged)
        << QStringLiteral("笔记本已经损坏");
}

// Whatever fails, the message says it in Chinese, in a few lines, and says
// the notebook is sound only when it was checked.
void TestDailyBackup::failureMessages()
{
    QFETCH(QString, damage);
    QFETCH(int, kind);
    QFETCH(int, notebook);
    QFETCH(QString, said);
    TestFolder folder;
    QVERIFY(folder.ok());
    backupfiles::addNotes(600, 1000);
    if (damage == u"live")
        damageLiveNotes();
    const auto outcome = backupfiles::runBackup(on("2024-05-02"), [&](const QString &partial) {
        QByteArray bytes = fileContents(partial);
        if (damage == u"copy cut")
            bytes.truncate(bytes.size() / 2);
        else if (damage == u"copy overwritten")
            bytes.replace(bytes.size() / 2, 4096 * 40, QByteArray(4096 * 40, '\x33'));
        QVERIFY(backupfiles::writeFile(partial, bytes));
    });
    const QString text = BackupNotice::failureText(outcome);
    qInfo("%s", qPrintable(text));
    QCOMPARE(int(outcome.kind), kind);
    QCOMPARE(int(outcome.notebook), notebook);
    QVERIFY2(text.contains(said), qPrintable(text));
    QVERIFY2(text.size() < 500 && text.count(QLatin1Char('\n')) < 12, qPrintable(text));
    static const QRegularExpression english(
        QStringLiteral("\\b(error|database|sql|malformed|disk|logic)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    QVERIFY2(!english.match(text).hasMatch(), qPrintable(text));
    QVERIFY(backupfiles::partials(backupfiles::folder()).isEmpty());
}

// A program left running: the new day's copy comes at the first moment of
// that day the user leaves keyboard and mouse alone, and days without a
// change make none.
void TestDailyBackup::newDayWhileRunning()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QDateTime now(on("2024-05-01"), QTime(23, 59, 59, 500));
    BackupSchedule schedule([&now] { return now; });
    schedule.setIdleMs(2000);
    schedule.setCheckIntervalMs(40);
    QSignalSpy started(&schedule, &BackupSchedule::started);
    QList<DailyBackup::Outcome> outcomes;
    connect(&schedule, &BackupSchedule::finished,
            [&](const DailyBackup::Outcome &o) { outcomes.append(o); });
    const auto madeFor = [&](const char *day) {
        return QTest::qWaitFor([&] { return !outcomes.isEmpty(); }, 30000) &&
               outcomes.takeFirst().kind == DailyBackup::Outcome::Made &&
               QFile::exists(backupfiles::folder() + QLatin1Char('/') +
                             backupcopies::copyName(on(day)));
    };
    schedule.start();
    QVERIFY(madeFor("2024-05-01"));
    changeNotebook();

    // Past midnight while the user types: nothing starts until the typing stops.
    now = QDateTime(on("2024-05-02"), QTime(0, 0, 1));
    QWidget typedInto;
    QElapsedTimer typing;
    typing.start();
    while (typing.elapsed() < 1200) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(&typedInto, &key);
        QTest::qWait(20);
        QCOMPARE(started.count(), 1);
    }
    QVERIFY(madeFor("2024-05-02"));
    QCOMPARE(started.count(), 2);

    // Three days on with nothing changed: one look, no copy; then a change.
    now = now.addDays(3);
    QVERIFY(QTest::qWaitFor([&] { return !outcomes.isEmpty(); }, 30000));
    QCOMPARE(outcomes.takeFirst().kind, DailyBackup::Outcome::Unchanged);
    changeNotebook();
    now = now.addDays(1);
    QVERIFY(madeFor("2024-05-06"));
    QCOMPARE(schedule.lastDay(), on("2024-05-06"));
    QCOMPARE(backupcopies::days(backupfiles::folder()),
             dates({"2024-05-06", "2024-05-02", "2024-05-01"}));
}

VARNEL_TEST_CLASS(TestDailyBackup);
#include "tst_dailybackup.moc"

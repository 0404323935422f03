// The daily backup against the real encrypted database: which copies stay
// over the days, the keyed copy, a copy taken while notes are being saved,
// and a copy that fails its check.

#include "appinfo.h"
#include "backgroundbackup.h"
#include "backupcopies.h"
#include "backupfiles.h"
#include "dailybackup.h"
#include "database.h"
#include "testfolder.h"
#include "testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

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
    QTest::newRow("the data layer lets go of the database") << false;
    QTest::newRow("the program ends") << true;
}

void TestDailyBackup::stoppedCopyLeavesNothing()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    QFETCH(bool, programEnds);
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

VARNEL_TEST_CLASS(TestDailyBackup);
#include "tst_dailybackup.moc"

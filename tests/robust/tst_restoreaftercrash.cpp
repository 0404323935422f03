// Going back to a copy of the notebook, through the real Varnelpad under the
// test X server.
//
// A crash in the middle of a save leaves the save's journal beside the
// notebook. A copy restored the way the README tells (the damaged file moved
// aside with its journal) opens as it was; a copy put in place with the old
// journal left beside it is damaged when the journal is played at the next
// start, and Varnelpad says so truthfully and offers the copy again. At a
// start on a damaged notebook the newest copy that passes its check is
// offered: yes restores it, no leaves every file as it was.

#include "testmain.h"

#include "store/backup/backupcopies.h"
#include "backupfiles.h"
#include "e2eharness.h"
#include "journeydriver.h"
#include "robustsupport.h"
#include "testfolder.h"

#include <QDir>
#include <QtTest>

namespace
{

const QString kBoxTitle = QStringLiteral("Varnel提示");

// A program folder with notes, a copy of an earlier day in data/backup, and
// the programs started with their message boxes noted.
struct RestoreFolder {
    E2eFolder folder;
    QString data = folder.path() + QStringLiteral("/data");
    QString live = data + QStringLiteral("/pelbrook_data.Tandrel");
    QString backup = data + QStringLiteral("/backup");
    QString log = folder.path() + QStringLiteral("/boxes.txt");

    RestoreFolder()
    {
        folder.setEnvironment(QStringLiteral("LD_PRELOAD"), QStringLiteral(VARNEL_BOXLOG));
        folder.setEnvironment(QStringLiteral("VARNEL_TEST_BOX_LOG"), log);
    }
    bool ok() const { return folder.ok(); }

    void addNotes(int count, const QString &title, int bytes = 600)
    {
        folder.exec(
            QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where "
                           "i < %1) insert into 企业日记 (标题, 内容, 分类) select ? || i, "
                           "hex(randomblob(%2)), 0 from n")
                .arg(count)
                .arg(bytes),
            {title});
    }
    QString copyOf(int daysAgo) const
    {
        return backup + QLatin1Char('/') +
               varnel::backupcopies::copyName(QDate::currentDate().addDays(-daysAgo));
    }
    // The live notebook as it stands, copied into data/backup.
    bool keepCopy(int daysAgo) const
    {
        return QDir().mkpath(backup) && QFile::copy(live, copyOf(daysAgo));
    }
    QStringList boxes() const
    {
        if (!QFileInfo::exists(log))
            return {};
        return QString::fromUtf8(fileContents(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList damagedFiles() const
    {
        return QDir(data).entryList({QStringLiteral("pelbrook_data-damaged-*")}, QDir::Files);
    }
    int notes(const QString &path) const { return int(backupfiles::view(path).bookids.size()); }
};

} // namespace

class TestRestoreAfterCrash : public QObject
{
    Q_OBJECT

  private slots:
    void restoreAfterACrash_data();
    void restoreAfterACrash();
    void offerAtADamagedStart_data();
    void offerAtADamagedStart();
};

void TestRestoreAfterCrash::restoreAfterACrash_data()
{
    QTest::addColumn<bool>("journalMoved");
    QTest::newRow("the journal moved with the file, as the README tells") << true;
    QTest::newRow("the journal left beside the restored copy") << false;
}

void TestRestoreAfterCrash::restoreAfterACrash()
{
    QFETCH(bool, journalMoved);
    RestoreFolder f;
    QVERIFY(f.ok());
    f.addNotes(300, QStringLiteral("复制前"));
    QVERIFY(f.keepCopy(1));
    const QByteArray copy = fileContents(f.copyOf(1));
    const int inCopy = f.notes(f.copyOf(1));
    // Days of work after the copy: notes deleted, longer ones written.
    f.folder.exec(QStringLiteral("delete from 企业日记 where bookid % 3 = 0"));
    f.addNotes(400, QStringLiteral("复制后"), 1500);
    const int afterCopy =
        int(f.folder.scalar(QStringLiteral("select count(*) from 企业日记")).toInt());

    // A save killed before its commit.
    QCOMPARE(QProcess::execute(QStringLiteral(VARNEL_CRASHSAVE), {f.folder.path()}), -1);
    const QString journal = f.live + QStringLiteral("-journal");
    QVERIFY2(QFileInfo(journal).size() > 0, "the crash left no journal");

    const QString before = f.data + QStringLiteral("/pelbrook_data-before-restore.Tandrel");
    if (journalMoved) {
        QVERIFY(QFile::rename(f.live, before));
        QVERIFY(QFile::rename(journal, before + QStringLiteral("-journal")));
    } else {
        QVERIFY(QFile::copy(f.live, before));
        QVERIFY(QFile::remove(f.live));
    }
    QVERIFY(QFile::copy(f.copyOf(1), f.live));

    RunningProgram program(f.folder);
    if (!journalMoved) {
        // The old journal was played into the copy: the notebook is damaged,
        // and the message says how, and offers the copy again.
        QVERIFY2(journey::answerBox(kBoxTitle, QStringLiteral("alt+y")),
                 qPrintable(f.boxes().join(QLatin1Char('\n'))));
        QVERIFY2(journey::answerBox(kBoxTitle), "no word of the restore");
        const QStringList boxes = f.boxes();
        QCOMPARE(boxes.size(), 2);
        qInfo("%s\n%s", qPrintable(boxes.at(0)), qPrintable(boxes.at(1)));
        QVERIFY(boxes.at(0).contains(QStringLiteral("日志文件")));
        QVERIFY(!boxes.at(0).contains(QStringLiteral("程序没有改动这个文件")));
        QVERIFY(boxes.at(0).contains(QStringLiteral("其中有 %1 条记事").arg(inCopy)));
        QVERIFY(boxes.at(1).contains(QStringLiteral("已经用")));
        QCOMPARE(f.damagedFiles().size(), 1);
        QVERIFY2(boxes.at(1).contains(f.damagedFiles().first()), qPrintable(boxes.at(1)));
    }
    QVERIFY2(!journey::loginWithEmptyPassword().isEmpty(), qPrintable(program.output()));
    if (journalMoved)
        QVERIFY2(f.boxes().isEmpty(), qPrintable(f.boxes().join(QLatin1Char('\n'))));

    // The notebook is the copy; the copy in data/backup is untouched, and the
    // file set aside with its journal still holds every note of before.
    QCOMPARE(f.folder.scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
             QStringLiteral("ok"));
    QCOMPARE(f.folder.scalar(QStringLiteral("select count(*) from 企业日记")).toInt(), inCopy);
    QCOMPARE(f.folder
                 .scalar(QStringLiteral("select count(*) from 企业日记 where 内容 like "
                                        "'%没有保存完%'"))
                 .toInt(),
             0);
    QVERIFY(fileContents(f.copyOf(1)) == copy);
    if (journalMoved) {
        QCOMPARE(backupfiles::view(before).integrity, QStringLiteral("ok"));
        QCOMPARE(f.notes(before), afterCopy);
    }
}

void TestRestoreAfterCrash::offerAtADamagedStart_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes restores the newest good copy") << true;
    QTest::newRow("no keeps everything as it is") << false;
}

void TestRestoreAfterCrash::offerAtADamagedStart()
{
    QFETCH(bool, yes);
    RestoreFolder f;
    QVERIFY(f.ok());
    f.addNotes(120, QStringLiteral("两天前"));
    QVERIFY(f.keepCopy(2));
    const int inCopy = f.notes(f.copyOf(2));
    f.addNotes(5, QStringLiteral("昨天"));
    // Yesterday's copy is damaged: the offer passes over it.
    QVERIFY(f.keepCopy(1));
    QVERIFY(robust::writeFileBytes(f.copyOf(1), fileContents(f.copyOf(1)).left(40000)));
    QVERIFY(robust::writeFileBytes(f.live, fileContents(f.live).left(4096)));
    const auto data = backupfiles::contents(f.data);
    const auto copies = backupfiles::contents(f.backup);

    RunningProgram program(f.folder);
    QVERIFY2(journey::answerBox(kBoxTitle, yes ? QStringLiteral("alt+y") : QStringLiteral("alt+n")),
             "no offer came up");
    const QString offer = f.boxes().value(0);
    qInfo("%s", qPrintable(offer));
    QVERIFY(offer.contains(QStringLiteral("文件已损坏")));
    QVERIFY(offer.contains(QDate::currentDate().addDays(-2).toString(Qt::ISODate)));
    QVERIFY(offer.contains(QStringLiteral("其中有 %1 条记事").arg(inCopy)));
    if (!yes) {
        QVERIFY2(program.waitForExit(20000), "Varnelpad did not end");
        QVERIFY(program.exitCode() != 0);
        QCOMPARE(f.boxes().size(), 1);
        QVERIFY(backupfiles::contents(f.data) == data);
        QVERIFY(backupfiles::contents(f.backup) == copies);
        return;
    }
    QVERIFY2(journey::answerBox(kBoxTitle), "no word of the restore");
    QVERIFY2(!journey::loginWithEmptyPassword().isEmpty(), qPrintable(program.output()));
    QCOMPARE(f.folder.scalar(QStringLiteral("select count(*) from 企业日记")).toInt(), inCopy);
    // The damaged file is kept as it was, under its new name.
    QCOMPARE(f.damagedFiles().size(), 1);
    QVERIFY(fileContents(f.data + QLatin1Char('/') + f.damagedFiles().first()) ==
            data.value(QStringLiteral("pelbrook_data.Tandrel")));
    for (auto it = copies.cbegin(); it != copies.cend(); ++it)
        QVERIFY(fileContents(f.backup + QLatin1Char('/') + it.key()) == it.value());
}

VARNEL_TEST_CLASS(TestRestoreAfterCrash);
#include "tst_restoreaftercrash.moc"

// The day's backup on a full disk and into a folder it may not write: the
// user is told once, in Chinese, why; the live database and the copies made
// before stay as they were, and nothing half-written is left.
//
// Each case runs in a child process: a full disk is a small tmpfs mounted on
// data/backup in a mount namespace of the child's own (as root, or as root of
// a user namespace where the system allows one); the read-only folder needs
// an ordinary user, for whom its permissions hold.

#include "testmain.h"

#include "base/appinfo.h"
#include "store/backup/backgroundbackup.h"
#include "store/backup/backupcopies.h"
#include "backupfiles.h"
#include "store/backup/backuproom.h"
#include "store/database.h"
#include "robustsupport.h"
#include "testfolder.h"

#include <QDir>
#include <QMessageBox>
#include <QThread>
#include <QtTest>

#include <sys/mount.h>
#include <unistd.h>

using namespace varnel;

namespace
{

QStringList ownMounts()
{
    if (::geteuid() == 0)
        return {QStringLiteral("unshare"), QStringLiteral("--mount"),
                QStringLiteral("--propagation"), QStringLiteral("private")};
    return {QStringLiteral("unshare"), QStringLiteral("--user"), QStringLiteral("--map-root-user"),
            QStringLiteral("--mount")};
}

QList<QMessageBox *> notices()
{
    QList<QMessageBox *> shown;
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible() && box->objectName() == u"backupFailed")
            shown.append(box);
    }
    return shown;
}

// Starts the day's backup in the background; with `grow`, the notebook grows
// by that many notes once the copy's file is made and before it is copied.
DailyBackup::Outcome backgroundBackup(int grow)
{
    backupfiles::Started started(QDate::currentDate());
    if (grow > 0) {
        // The copy's first turn waits for this thread's event loop.
        for (int i = 0; i < 5000 && backupfiles::partials(backupfiles::folder()).isEmpty(); ++i)
            QThread::msleep(2);
        backupfiles::addNotes(grow, 1000, QStringLiteral("后来"));
    }
    started.wait();
    return started.outcome.value_or(DailyBackup::Outcome());
}

// Mounts a tmpfs of `megabytes` over the data folder, with the files that
// were in it.
bool dataOnSmallDisk(int megabytes)
{
    ShutdownDb();
    QMap<QString, QByteArray> files = backupfiles::contents(dataFolder());
    const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
    if (::mount("tmpfs", QFile::encodeName(dataFolder()).constData(), "tmpfs", 0,
                options.constData()) != 0)
        return false;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!backupfiles::writeFile(dataFolder() + QLatin1Char('/') + it.key(), it.value()))
            return false;
    }
    return true;
}

void saveNote(const QString &title, const QString &body)
{
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记 where 1=0"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), title);
    DbRs->SetField(QStringLiteral("内容"), body);
    DbRs->SetField(QStringLiteral("分类"), 0);
    DbRs->Update();
    CloseDb();
}

} // namespace

class TestBackupFaults : public QObject
{
    Q_OBJECT

  private slots:
    void failureIsToldOnceAndLosesNothing_data();
    void failureIsToldOnceAndLosesNothing();
    void copiesNeverCrowdOutTheNotebook();
};

void TestBackupFaults::failureIsToldOnceAndLosesNothing_data()
{
    QTest::addColumn<int>("diskKb");      // size of the tmpfs; 0: no tmpfs, read-only folder
    QTest::addColumn<int>("notesBefore"); // notes added before the backup starts
    QTest::addColumn<int>("notesDuring"); // notes added once the copy's file is made
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full before the copy") << 2048 << 600 << 0 << "磁盘空间不足";
    QTest::newRow("disk full during the copy") << 3072 << 1 << 1500 << "磁盘空间不足";
    QTest::newRow("read-only backup folder") << 0 << 1 << 0 << "没有写入备份文件夹的权限";
}

void TestBackupFaults::failureIsToldOnceAndLosesNothing()
{
    QFETCH(int, diskKb);
    QFETCH(int, notesBefore);
    QFETCH(int, notesDuring);
    QFETCH(QString, reason);
    if (!robust::inChild()) {
        robust::rerunInChild(diskKb > 0 ? ownMounts() : robust::asOrdinaryUser(),
                             QStringLiteral("TestBackupFaults"),
                             QStringLiteral("failureIsToldOnceAndLosesNothing:") +
                                 QTest::currentDataTag(),
                             "no small file system could be mounted here: the full disk is not "
                             "tested");
        return;
    }

    TestFolder folder;
    QVERIFY(folder.ok());
    const QString backup = backupfiles::folder();
    QVERIFY(QDir().mkpath(backup));
    if (diskKb > 0) {
        const QByteArray options = "size=" + QByteArray::number(diskKb) + "k";
        if (::mount("tmpfs", QFile::encodeName(backup).constData(), "tmpfs", 0,
                    options.constData()) != 0)
            QSKIP("cannot mount a tmpfs");
    }
    // Two copies of earlier days.
    backupfiles::addNotes(20, 500);
    QCOMPARE(backupfiles::runBackup(QDate::currentDate().addDays(-8)).kind,
             DailyBackup::Outcome::Made);
    backupfiles::addNotes(20, 500);
    QCOMPARE(backupfiles::runBackup(QDate::currentDate().addDays(-1)).kind,
             DailyBackup::Outcome::Made);
    backupfiles::addNotes(notesBefore, 1000);
    if (diskKb == 0)
        QVERIFY(QFile::setPermissions(backup, QFile::ReadOwner | QFile::ExeOwner));
    const auto copies = backupfiles::contents(backup);
    QCOMPARE(copies.size(), 2);

    const DailyBackup::Outcome first = backgroundBackup(notesDuring);
    QCOMPARE(first.kind, DailyBackup::Outcome::Failed);
    qInfo("%s", qPrintable(first.reason));
    QVERIFY2(first.reason.contains(reason), qPrintable(first.reason));
    const QByteArray live = fileContents(databasePath());
    // The program tries once per start; another failure in the same run is
    // not told again.
    QCOMPARE(backgroundBackup(0).kind, DailyBackup::Outcome::Failed);
    QCOMPARE(notices().size(), 1);
    QVERIFY2(notices().first()->text().contains(reason), qPrintable(notices().first()->text()));

    QVERIFY(backupfiles::contents(backup) == copies);
    QVERIFY(fileContents(databasePath()) == live);
    QCOMPARE(TestFolder::scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
             QStringLiteral("ok"));
    QCOMPARE(TestFolder::scalar(QStringLiteral("select count(*) from 企业日记")).toInt(),
             40 + notesBefore + notesDuring);
    if (diskKb > 0)
        ::umount2(QFile::encodeName(backup).constData(), MNT_DETACH);
    else
        QFile::setPermissions(backup, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The data folder on a small disk and a notebook that grows every day: the
// copies give way, oldest first, so that the notebook always has room to
// work, the newest copy always stays, and a large note still saves at the end.
void TestBackupFaults::copiesNeverCrowdOutTheNotebook()
{
    if (!robust::inChild()) {
        robust::rerunInChild(ownMounts(), QStringLiteral("TestBackupFaults"),
                             QStringLiteral("copiesNeverCrowdOutTheNotebook"),
                             "no small file system could be mounted here");
        return;
    }
    TestFolder folder;
    QVERIFY(folder.ok());
    if (!dataOnSmallDisk(24))
        QSKIP("cannot mount a tmpfs");
    const QString backup = backupfiles::folder();
    const QDate first(2024, 3, 1);
    QDate newestMade;
    int made = 0;
    int refused = 0;
    for (int day = 0; day < 30; ++day) {
        backupfiles::addNotes(60, 1000, QStringLiteral("第%1天").arg(day));
        const auto outcome = backupfiles::runBackup(first.addDays(day));
        const qint64 live = QFileInfo(databasePath()).size();
        const qint64 free = backuproom::freeBytes(backup);
        if (outcome.kind == DailyBackup::Outcome::Made) {
            ++made;
            newestMade = first.addDays(day);
            QVERIFY2(free >= live + backuproom::kNotebookMargin,
                     qPrintable(QStringLiteral("day %1: %2 free").arg(day).arg(free)));
        } else {
            ++refused;
            QCOMPARE(outcome.kind, DailyBackup::Outcome::Failed);
            QVERIFY2(outcome.reason.contains(QStringLiteral("磁盘空间不足")),
                     qPrintable(outcome.reason));
        }
        QVERIFY(!backupcopies::days(backup).isEmpty());
        QCOMPARE(backupcopies::days(backup).first(), newestMade);
    }
    const QList<QDate> kept = backupcopies::days(backup);
    qInfo("%d copies made, %d refused for room; kept %lld, notebook %.1f MB", made, refused,
          qint64(kept.size()), QFileInfo(databasePath()).size() / 1048576.0);
    QVERIFY(made > 10);
    QVERIFY(refused > 0);
    QVERIFY(!kept.contains(first)); // the oldest went for room
    QCOMPARE(
        backupfiles::view(backup + QLatin1Char('/') + backupcopies::copyName(newestMade)).integrity,
        QStringLiteral("ok"));

    // A 4.2 MB note on the disk the copies share.
    const QString big = QString(QStringLiteral("大")).repeated(1400 * 1024);
    try {
        saveNote(QStringLiteral("很长的笔记"), big);
    } catch (const DbError &e) {
        QFAIL(qPrintable(e.userText()));
    }
    QCOMPARE(TestFolder::scalar(QStringLiteral("select length(内容) from 企业日记 where "
                                               "标题='很长的笔记'"))
                 .toInt(),
             int(big.size()));
    ShutdownDb();
    ::umount2(QFile::encodeName(dataFolder()).constData(), MNT_DETACH);
}

VARNEL_TEST_CLASS(TestBackupFaults);
#include "tst_backupfaults.moc"

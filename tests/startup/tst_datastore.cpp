// The data layer against a real encrypted database file.

#include "base/appinfo.h"
#include "provisioning.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "store/dberrortext.h"
#include "store/filekey.h"
#include "store/readaheadvfs.h"
#include "testfolder.h"
#include "testmain.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;

class TestDataStore : public QObject
{
    Q_OBJECT

  private slots:
    void everyOperationGetsAFreshRecordset();
    void anOpenConnectionLeftBehindIsReplaced();
    void insertTakesTheColumnDefaults();
    void changesAreOnDiskWhenUpdateReturns();
    void valuesAreBoundNotSpliced();
    void aRefusedBindLeavesNoStatementOpen();
    void deletingACategoryLeavesItsNotesAlone();
    void walkingAndCounting();
    void recordsetIsReadOnlyInReadMode();
    void recordsetClosesWithItsConnection();
    void missingDatabaseIsReportedAndNotCreated();
    void wrongKeyIsReportedClearly();
    void garbageFileIsReportedClearly();
    void fileIsUnreadableWithoutTheKey();
    void readingAheadSeesEveryWrite_data();
    void readingAheadSeesEveryWrite();
    void keyIsDerivedOncePerFile_data();
    void keyIsDerivedOncePerFile();
    void shownTimeDropsLeadingZeros();
    void reasonsAreShortAndSayTheCode_data();
    void reasonsAreShortAndSayTheCode();
    void messagesTakenOnAnotherThread_data();
    void messagesTakenOnAnotherThread();
};

void TestDataStore::everyOperationGetsAFreshRecordset()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn, RsMode::Read);
    QCOMPARE(DbRs->RecordCount(), 1);
    Recordset *first = DbRs.get();
    CloseDb();
    OpenDb();
    QVERIFY(DbRs.get() != first || !DbRs->IsOpen());
    QVERIFY(!DbRs->IsOpen());
    QCOMPARE(DbRs->RecordCount(), 0);
    CloseDb();
}

void TestDataStore::anOpenConnectionLeftBehindIsReplaced()
{
    TestFolder folder;
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表 where czy='admin'"), *DbConn, RsMode::Read);
    // No CloseDb: the next operation must work all the same.
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn,
               RsMode::Write);
    DbRs->SetField(QStringLiteral("skin"), 3);
    DbRs->Update();
    CloseDb();
    QCOMPARE(TestFolder::scalar(QStringLiteral("select skin from 系统用户表")).toInt(), 3);
}

void TestDataStore::insertTakesTheColumnDefaults()
{
    TestFolder folder;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), QStringLiteral("标题一"));
    DbRs->SetField(QStringLiteral("内容"), QString());
    DbRs->SetField(QStringLiteral("分类"), 0);
    DbRs->Update();
    QCOMPARE(DbRs->Field(QStringLiteral("处理")).toInt(), 0);
    QVERIFY(DbRs->Field(QStringLiteral("bookid")).toLongLong() > 0);
    const QDateTime stamp = QDateTime::fromString(DbRs->Field(QStringLiteral("时间")).toString(),
                                                  QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    CloseDb();
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before);
    QVERIFY(stamp <= QDateTime::currentDateTime().addSecs(1));
}

void TestDataStore::changesAreOnDiskWhenUpdateReturns()
{
    TestFolder folder;
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), QStringLiteral("持久"));
    DbRs->Update();
    CloseDb();
    // A second handle on the file sees it at once: nothing is held back.
    sqlite3 *other = db::openKeyed(databasePath(), false);
    db::Statement stmt(other, QStringLiteral("select count(*) from 企业日记 where 标题='持久'"));
    QVERIFY(stmt.step());
    QCOMPARE(stmt.value(0).toInt(), 1);
    sqlite3_close_v2(other);
}

void TestDataStore::valuesAreBoundNotSpliced()
{
    TestFolder folder;
    const QString nasty = QStringLiteral("it's \"quoted\" 100% _x_ \\ ; drop table 分类;--");
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), nasty);
    DbRs->Update();
    CloseDb();
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记 where 标题=?"), *DbConn, RsMode::Read,
               {nasty});
    QCOMPARE(DbRs->RecordCount(), 1);
    QCOMPARE(DbRs->Field(QStringLiteral("标题")).toString(), nasty);
    CloseDb();
}

// A statement whose bind fails is finalized all the same: a handle with a
// statement left open cannot be closed and keeps its locks.
void TestDataStore::aRefusedBindLeavesNoStatementOpen()
{
    TestFolder folder;
    sqlite3 *handle = db::openKeyed(databasePath(), false);
    bool refused = false;
    try {
        db::Statement stmt(handle, QStringLiteral("select count(*) from 企业日记 where 标题=?"),
                           {QStringLiteral("一"), QStringLiteral("多余的值")});
    } catch (const DbError &) {
        refused = true;
    }
    QVERIFY(refused);
    QCOMPARE(sqlite3_next_stmt(handle, nullptr), nullptr);
    QCOMPARE(sqlite3_close(handle), SQLITE_OK);
}

void TestDataStore::deletingACategoryLeavesItsNotesAlone()
{
    TestFolder folder;
    TestFolder::exec(QStringLiteral("insert into 分类 (bh, mc) values (0, '工作')"));
    TestFolder::exec(
        QStringLiteral("insert into 企业日记 (标题, 内容, 分类) values ('a', 'b', 1)"));
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 分类  where id=1"), *DbConn, RsMode::Write);
    QVERIFY(!DbRs->Eof());
    DbRs->Delete();
    CloseDb();
    QCOMPARE(TestFolder::scalar(QStringLiteral("select count(*) from 分类")).toInt(), 0);
    QCOMPARE(TestFolder::scalar(QStringLiteral("select 分类 from 企业日记")).toInt(), 1);
}

void TestDataStore::walkingAndCounting()
{
    TestFolder folder;
    for (int i = 0; i < 3; ++i)
        TestFolder::exec(QStringLiteral("insert into 分类 (bh, mc) values (0, 'c%1')").arg(i));
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 分类"), *DbConn, RsMode::Read);
    QCOMPARE(DbRs->RecordCount(), 3);
    QCOMPARE(DbRs->FieldName(0), QStringLiteral("id"));
    QStringList names;
    while (!DbRs->Eof()) {
        names << DbRs->Field(2).toString();
        QCOMPARE(DbRs->Field(QStringLiteral("MC")), DbRs->Field(2)); // names ignore case
        DbRs->MoveNext();
    }
    CloseDb();
    QCOMPARE(names,
             (QStringList{QStringLiteral("c0"), QStringLiteral("c1"), QStringLiteral("c2")}));
}

void TestDataStore::recordsetIsReadOnlyInReadMode()
{
    TestFolder folder;
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表"), *DbConn, RsMode::Read);
    QVERIFY_THROWS_EXCEPTION(DbError, DbRs->SetField(QStringLiteral("auto"), 1));
    CloseDb();
    QCOMPARE(TestFolder::scalar(QStringLiteral("select auto from 系统用户表")).toInt(), 0);
}

void TestDataStore::recordsetClosesWithItsConnection()
{
    TestFolder folder;
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表"), *DbConn, RsMode::Write);
    CloseDb();
    QVERIFY(!DbRs->IsOpen());
    QVERIFY_THROWS_EXCEPTION(DbError, DbRs->SetField(QStringLiteral("auto"), 1));
}

void TestDataStore::missingDatabaseIsReportedAndNotCreated()
{
    TestFolder folder(false);
    try {
        OpenDb();
        QFAIL("OpenDb succeeded without a database file");
    } catch (const DbError &e) {
        QCOMPARE(e.kind(), DbError::Missing);
        QVERIFY(e.userText().contains(QStringLiteral("pelbrook_data.Tandrel")));
        QVERIFY(e.userText().contains(QStringLiteral("不存在")));
    }
    QVERIFY(!QFile::exists(databasePath()));
}

void TestDataStore::wrongKeyIsReportedClearly()
{
    TestFolder folder;
    QVERIFY(rekeyDatabase(databasePath()));
    try {
        OpenDb();
        QFAIL("a database keyed with another password opened");
    } catch (const DbError &e) {
        QCOMPARE(e.kind(), DbError::NotADatabase);
        QVERIFY(e.userText().contains(QStringLiteral("密码不正确")));
        QVERIFY(e.userText().contains(databasePath().section(QLatin1Char('/'), -1)));
    }
}

void TestDataStore::garbageFileIsReportedClearly()
{
    TestFolder folder;
    QFile file(databasePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(10000, 'x'));
    file.close();
    QVERIFY_THROWS_EXCEPTION(DbError, OpenDb());
}

void TestDataStore::fileIsUnreadableWithoutTheKey()
{
    TestFolder folder;
    QFile file(databasePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.read(16).startsWith("SQLite format 3"));
    file.close();
    const QString cli = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (cli.isEmpty())
        QSKIP("no sqlite3 command on this machine");
    QProcess p;
    p.start(cli, {databasePath(), QStringLiteral(".tables")});
    QVERIFY(p.waitForFinished(10000));
    QVERIFY(p.exitCode() != 0);
    QVERIFY(p.readAllStandardError().contains("not a database"));
}

namespace
{

// Every note's id, title and body length, and the body of a few, as one text.
QString scanNotes(sqlite3 *db, const char *order = "bookid")
{
    const QByteArray sql = QByteArray("select group_concat(bookid || ':' || 标题 || ':' || "
                                      "length(内容) || ':' || substr(内容, 1 + bookid % 977, 3), "
                                      "',') from (select * from 企业日记 order by ") +
                           order + ")";
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return QStringLiteral("<no statement>");
    QString text =
        sqlite3_step(stmt) == SQLITE_ROW
            ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)))
            : QStringLiteral("<no row>");
    sqlite3_finalize(stmt);
    return text;
}

} // namespace

void TestDataStore::readingAheadSeesEveryWrite_data()
{
    QTest::addColumn<QString>("write"); // by another handle, between two reads
    QTest::addColumn<QString>("order"); // of the rows read
    QTest::newRow("nothing") << ""
                             << "bookid";
    QTest::newRow("titles at the end changed: the piece read last")
        << "update 企业日记 set 标题 = '末' || bookid where bookid > 560" << "bookid";
    QTest::newRow("titles in the middle changed")
        << "update 企业日记 set 标题 = '改' || bookid where bookid % 7 = 3"
        << "bookid";
    QTest::newRow("bodies grown, pages moved")
        << "update 企业日记 set 内容 = 内容 || 内容 where bookid % 5 = 1"
        << "bookid";
    QTest::newRow("notes added: the file grows")
        << "insert into 企业日记 (标题, 内容) select 标题 || '新', 内容 from 企业日记 limit 90"
        << "bookid";
    QTest::newRow("notes deleted, read backwards") << "delete from 企业日记 where bookid % 3 = 0"
                                                   << "bookid desc";
    QTest::newRow("read in no order")
        << "update 企业日记 set 内容 = substr(内容, 200) where bookid % 4 = 2"
        << "标题 || bookid % 13";
}

// A handle that reads ahead answers exactly as a plain one, after another
// handle changed the file between two of its reads.
void TestDataStore::readingAheadSeesEveryWrite()
{
    QFETCH(QString, write);
    QFETCH(QString, order);
    TestFolder folder;
    // A few MB of notes: long enough for reads of the largest piece.
    TestFolder::exec(QStringLiteral(
        "insert into 企业日记 (标题, 内容, 时间, 处理) "
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 600) "
        "select '题' || i, '内容' || i || hex(randomblob(500 + i * 3)), '2024-01-01 10:00:00', "
        "i % 2 from n"));
    ShutdownDb();
    QVERIFY(db::readAheadVfs());
    const QString path = databasePath();
    const QByteArray sortBy = order.toUtf8();
    sqlite3 *reader = db::openReader(path, nullptr, nullptr);
    QVERIFY(reader);
    sqlite3 *plain = db::openKeyed(path, false);
    QCOMPARE(scanNotes(reader, sortBy.constData()), scanNotes(plain, sortBy.constData()));
    if (!write.isEmpty())
        QCOMPARE(sqlite3_exec(plain, write.toUtf8().constData(), nullptr, nullptr, nullptr),
                 SQLITE_OK);
    const QString after = scanNotes(plain, sortBy.constData());
    QCOMPARE(scanNotes(reader, sortBy.constData()), after);
    QVERIFY(after.size() > 5000);
    sqlite3_close_v2(reader);
    sqlite3_close_v2(plain);
}

void TestDataStore::keyIsDerivedOncePerFile_data()
{
    QTest::addColumn<QString>("change"); // to the file after its first open
    QTest::addColumn<int>("derived");    // keys derived by the opens after it
    QTest::addColumn<bool>("opens");
    QTest::newRow("the same file") << "none" << 0 << true;
    QTest::newRow("replaced by another notebook") << "replace" << 1 << true;
    QTest::newRow("keyed with another password") << "rekey" << 0 << false;
}

// Every handle of a file after the first is keyed with the key derived for
// it, and a file that is not the one derived for still opens as it should
// or fails as it did.
void TestDataStore::keyIsDerivedOncePerFile()
{
    QFETCH(QString, change);
    QFETCH(int, derived);
    QFETCH(bool, opens);
    TestFolder folder;
    const QString path = databasePath();
    const QByteArray passphrase = "Rv8-tq2Lm0";
    OpenDb();
    CloseDb();
    ShutdownDb();
    // The key derived is the one SQLCipher derives: a plain handle opens the file with it.
    const QByteArray raw = db::rawKeyFor(path, passphrase);
    QCOMPARE(raw.size(), 67);
    sqlite3 *plain = nullptr;
    QCOMPARE(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &plain, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    sqlite3_key(plain, raw.constData(), int(raw.size()));
    sqlite3_exec(plain, "PRAGMA cipher_page_size = 4096;", nullptr, nullptr, nullptr);
    QCOMPARE(sqlite3_exec(plain, "select count(*) from 系统用户表", nullptr, nullptr, nullptr),
             SQLITE_OK);
    sqlite3_close_v2(plain);

    QTemporaryDir other;
    if (change == QLatin1String("replace")) {
        QVERIFY(provisionProgramFolder(other.path()));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::copy(other.filePath(QStringLiteral("data/") + path.section('/', -1)), path));
    } else if (change == QLatin1String("rekey")) {
        QVERIFY(rekeyDatabase(path));
    }
    const int before = db::keysDerived(), reusedBefore = db::keysReused();
    for (int i = 0; i < 2; ++i) {
        try {
            OpenDb();
            DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn,
                       RsMode::Read);
            QCOMPARE(DbRs->RecordCount(), 1);
            CloseDb();
            QVERIFY(opens);
        } catch (const DbError &e) {
            QVERIFY2(!opens, qPrintable(e.userText()));
            QCOMPARE(e.kind(), DbError::NotADatabase);
        }
        ShutdownDb();
        sqlite3 *reader = db::openReader(path, nullptr, nullptr);
        QCOMPARE(reader != nullptr, opens);
        sqlite3_close_v2(reader);
    }
    QCOMPARE(db::keysDerived() - before, derived);
    // Each of the four handles was keyed with the key derived (for the file
    // keyed with another password, the one derived before its change); the
    // search index's reader may have opened some more.
    QVERIFY(db::keysReused() - reusedBefore >= 4);
}

void TestDataStore::shownTimeDropsLeadingZeros()
{
    QCOMPARE(shownTime(QStringLiteral("2008-08-08 09:05:00")), QStringLiteral("2008-8-8 9:05:00"));
    QCOMPARE(shownTime(QStringLiteral("2026-12-17 23:59:09")),
             QStringLiteral("2026-12-17 23:59:09"));
    QCOMPARE(shownTime(QStringLiteral("garbage")), QStringLiteral("garbage"));
    TestFolder folder;
    QCOMPARE(TestFolder::scalar(QStringLiteral("select vl_time('2008-08-08 09:05:00')")).toString(),
             QStringLiteral("2008-8-8 9:05:00"));
    QCOMPARE(TestFolder::scalar(QStringLiteral("select vl_time('2008-10-18 10:05:00')")).toString(),
             QStringLiteral("2008-10-18 10:05:00"));
}

VARNEL_TEST_CLASS(TestDataStore);
// The reason a copy's or a backup's message gives inside its own sentence:
// the same words as the full message, no full stop, and the code when
// nothing more can be said.
void TestDataStore::reasonsAreShortAndSayTheCode_data()
{
    QTest::addColumn<int>("rc");
    QTest::addColumn<QString>("reason");
    QTest::newRow("full") << SQLITE_FULL
                          << QStringLiteral("磁盘已满，或者文件已达到允许的最大大小");
    QTest::newRow("extended i/o") << SQLITE_IOERR_WRITE
                                  << QStringLiteral("读写文件时出错（磁盘或文件系统出了故障）");
    QTest::newRow("damaged") << SQLITE_CORRUPT << QStringLiteral("文件已损坏，内容不完整或被改写");
    QTest::newRow("interrupted") << SQLITE_INTERRUPT << QStringLiteral("操作被中断");
    QTest::newRow("anything else")
        << SQLITE_MISMATCH << QStringLiteral("数据库无法完成这个操作（错误代码 20）");
}

void TestDataStore::reasonsAreShortAndSayTheCode()
{
    QFETCH(int, rc);
    QFETCH(QString, reason);
    QCOMPARE(db::reasonFor(rc), reason);
}

// A failure on a reading thread comes back as its code and SQLite's message,
// taken there: the message decides the reason where the code alone cannot.
void TestDataStore::messagesTakenOnAnotherThread_data()
{
    QTest::addColumn<int>("rc");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("starts");
    QTest::addColumn<QString>("reason");
    QTest::newRow("search text too long")
        << SQLITE_ERROR << QStringLiteral("LIKE or GLOB pattern too complex")
        << int(DbError::Failed) << QStringLiteral("无法按这段文字搜索数据库文件：")
        << QStringLiteral("搜索内容太长");
    QTest::newRow("table missing")
        << SQLITE_ERROR << QStringLiteral("no such table: 企业日记") << int(DbError::NotADatabase)
        << QStringLiteral("无法读取数据库文件：") << QStringLiteral("文件中缺少本软件需要的表");
    QTest::newRow("no message: SQLite's words for the code")
        << SQLITE_BUSY << QString() << int(DbError::Failed)
        << QStringLiteral("无法读取数据库文件：") << QStringLiteral("（database is locked）");
}

void TestDataStore::messagesTakenOnAnotherThread()
{
    QFETCH(int, rc);
    QFETCH(QString, message);
    QFETCH(int, kind);
    QFETCH(QString, starts);
    QFETCH(QString, reason);
    const DbError error = db::errorFor(rc, message, QStringLiteral("select bookid from 企业日记"),
                                       QStringLiteral("/data/Varnel.db"));
    QCOMPARE(int(error.kind()), kind);
    QVERIFY2(error.userText().startsWith(starts + QStringLiteral("\n/data/Varnel.db")),
             qPrintable(error.userText()));
    QVERIFY2(error.userText().contains(reason), qPrintable(error.userText()));
    QVERIFY(error.userText().contains(QStringLiteral("文件中已有的信息都没有变")) ||
            kind == int(DbError::NotADatabase));
}

#include "tst_datastore.moc"

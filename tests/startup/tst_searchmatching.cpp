// The search's LIKE and the character-pair prefilter against SQLite's own LIKE
// and against real encrypted data.

#include "appinfo.h"
#include "database.h"
#include "dbengine.h"
#include "likematch.h"
#include "notefingerprints.h"
#include "testfolder.h"
#include "testmain.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace varnel;

class TestSearchMatching : public QObject
{
    Q_OBJECT

  private slots:
    void likeMatchesLikeSqlite_data();
    void likeMatchesLikeSqlite();
    void likeAgreesWithSqliteOnRandomInput();
    void prefilterNeverLosesAMatch();
    void prefilterFollowsChanges();
    void prefilterNoticesAnotherHandle();

  private:
    static QStringList search(const QString &term, bool narrowed);
};

void TestSearchMatching::likeMatchesLikeSqlite_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("match");
    QTest::newRow("ascii any case") << "%abc%"
                                    << "xxABCyy" << true;
    QTest::newRow("chinese substring") << "%密码%"
                                       << "我的密码本" << true;
    QTest::newRow("chinese miss") << "%密码%"
                                  << "我的密本码" << false;
    QTest::newRow("percent alone") << "%"
                                   << "" << true;
    QTest::newRow("underscore one char") << "%密_%"
                                         << "密码" << true;
    QTest::newRow("underscore needs a char") << "a_c"
                                             << "ac" << false;
    QTest::newRow("anchored both ends") << "a%c"
                                        << "abbbc" << true;
    QTest::newRow("anchored miss") << "a%c"
                                   << "abbbcd" << false;
    QTest::newRow("backslash is literal") << "%a\\b%"
                                          << "xa\\by" << true;
    QTest::newRow("quote is literal") << "%it's%"
                                      << "so it's fine" << true;
    QTest::newRow("empty pattern") << ""
                                   << "a" << false;
    QTest::newRow("several stars") << "%a%b%"
                                   << "xxaYYbZ" << true;
    QTest::newRow("non-ascii no case folding") << "%É%"
                                               << "é" << false;
    QTest::newRow("emoji") << "%😀_%"
                           << "x😀y" << true;
}

void TestSearchMatching::likeMatchesLikeSqlite()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, match);
    const QByteArray p = pattern.toUtf8(), t = text.toUtf8();
    QCOMPARE(db::likeMatch({p.constData(), std::size_t(p.size())},
                           {t.constData(), std::size_t(t.size())}),
             match);
}

void TestSearchMatching::likeAgreesWithSqliteOnRandomInput()
{
    // A handle without our functions has SQLite's own LIKE.
    sqlite3 *plain = nullptr;
    QCOMPARE(sqlite3_open(":memory:", &plain), SQLITE_OK);
    const QStringList alphabet = {"a", "A", "b", "%", "_", "密", "码", "\\", "'", "😀", "é"};
    QRandomGenerator rng(20261207);
    auto randomText = [&](int maxLength) {
        QString s;
        const int n = int(rng.bounded(maxLength + 1));
        for (int i = 0; i < n; ++i)
            s += alphabet.at(int(rng.bounded(alphabet.size())));
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString pattern = randomText(6), text = randomText(8);
        db::Statement stmt(plain, QStringLiteral("select ?1 like ?2"), {text, pattern});
        QVERIFY(stmt.step());
        const QByteArray p = pattern.toUtf8(), t = text.toUtf8();
        const bool ours = db::likeMatch({p.constData(), std::size_t(p.size())},
                                        {t.constData(), std::size_t(t.size())});
        if (ours != stmt.value(0).toBool())
            QFAIL(qPrintable(QStringLiteral("'%1' like '%2'").arg(text, pattern)));
    }
    sqlite3_close(plain);
}

QStringList TestSearchMatching::search(const QString &term, bool narrowed)
{
    QString where = QStringLiteral("(标题 like '%'||?1||'%' or 内容 like '%'||?1||'%' or "
                                   "vl_time(时间) like '%'||?1||'%')");
    if (narrowed) {
        OpenDb();
        const QString condition = NoteFingerprints::instance().candidateCondition(term);
        CloseDb();
        if (!condition.isEmpty())
            where = condition + QStringLiteral(" and ") + where;
    }
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记 where ") + where +
                   QStringLiteral(" ORDER by 处理 asc,bookid desc"),
               *DbConn, RsMode::Read, {term});
    QStringList ids;
    for (; !DbRs->Eof(); DbRs->MoveNext())
        ids << DbRs->Field(QStringLiteral("bookid")).toString();
    CloseDb();
    return ids;
}

void TestSearchMatching::prefilterNeverLosesAMatch()
{
    TestFolder folder;
    const QStringList words = {"密码", "会议", "Project", "backup",   "银行卡", "旅行计划",
                               "100%", "a_b",  "O'Neil",  "C:\\temp", "😀表情"};
    QRandomGenerator rng(7);
    OpenDb();
    DbConn->Execute(QStringLiteral("begin"));
    for (int i = 0; i < 400; ++i) {
        QString title, body;
        for (int k = 0; k < 3; ++k)
            title += words.at(int(rng.bounded(words.size())));
        for (int k = 0; k < 20; ++k)
            body += words.at(int(rng.bounded(words.size()))) + QLatin1Char(' ');
        DbConn->Execute(
            QStringLiteral("insert into 企业日记 (标题, 内容, 分类, 时间) values (?,?,0,?)"),
            {title, body,
             QStringLiteral("2008-08-%1 09:05:00").arg(1 + i % 28, 2, 10, QLatin1Char('0'))});
    }
    DbConn->Execute(QStringLiteral("commit"));
    CloseDb();
    const QStringList terms = {"密码", "码会", "project", "PROJ",   "银行卡旅", "2008-8-8",
                               "9:05", "%",    "_",       "a_b",    "100%",     "o'neil",
                               "c:\\", "😀",    "表情密",  "无此词", "b%p",      "密_"};
    for (const QString &term : terms)
        QCOMPARE(search(term, true), search(term, false));
}

void TestSearchMatching::prefilterFollowsChanges()
{
    TestFolder folder;
    TestFolder::exec(QStringLiteral("insert into 企业日记 (标题, 内容) values ('旧标题', '正文')"));
    QCOMPARE(search(QStringLiteral("旧标题"), true).size(), 1); // builds the sets
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记"), *DbConn, RsMode::Write);
    DbRs->SetField(QStringLiteral("标题"), QStringLiteral("新名字"));
    DbRs->Update();
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), QStringLiteral("第二篇"));
    DbRs->Update();
    CloseDb();
    QCOMPARE(search(QStringLiteral("旧标题"), true).size(), 0);
    QCOMPARE(search(QStringLiteral("新名字"), true).size(), 1);
    QCOMPARE(search(QStringLiteral("第二篇"), true).size(), 1);
    TestFolder::exec(QStringLiteral("delete from 企业日记 where 标题='第二篇'"));
    QCOMPARE(search(QStringLiteral("第二篇"), true).size(), 0);
}

void TestSearchMatching::prefilterNoticesAnotherHandle()
{
    TestFolder folder;
    QCOMPARE(search(QStringLiteral("外来"), true).size(), 0);
    sqlite3 *other = db::openKeyed(databasePath(), false);
    db::Statement(other, QStringLiteral("insert into 企业日记 (标题, 内容) values ('外来', '')"))
        .step();
    sqlite3_close_v2(other);
    QCOMPARE(search(QStringLiteral("外来"), true).size(), 1);
}

VARNEL_TEST_CLASS(TestSearchMatching);
#include "tst_searchmatching.moc"

// The window's helpers on their own: category placement and keys, statement
// rewriting, numbers from boxes and pages, and the chunked export.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "categoryplan.h"
#include "store/database.h"
#include "listsql.h"
#include "noteexport.h"
#include "notestore.h"
#include "updatelaunch.h"

#include <QFile>
#include <QtTest>

using namespace varnel;

class TestWorkspaceLogic : public QObject
{
    Q_OBJECT

  private slots:
    void categoryKeysGiveTheirNumbers();
    void cyclesAndDuplicatesArePlacedOnce();
    void listStatementsRunWithOtherColumns();
    void numbersFromBoxesAndPages();
    void exportCrossesChunkBoundaries();
};

void TestWorkspaceLogic::categoryKeysGiveTheirNumbers()
{
    qint64 n = -1;
    QVERIFY(categoryNumber(QStringLiteral("K_12"), &n));
    QCOMPARE(n, 12);
    QVERIFY(categoryNumber(QStringLiteral("K_40000"), &n));
    QCOMPARE(n, 40000);
    QVERIFY(categoryNumber(QStringLiteral("K_-3"), &n));
    QCOMPARE(n, -3);
    QVERIFY(!categoryNumber(QStringLiteral("boot"), &n));
    QVERIFY(!categoryNumber(QStringLiteral("K_"), &n));
    QVERIFY(!categoryNumber(QStringLiteral("K_1_2"), &n));
}

void TestWorkspaceLogic::cyclesAndDuplicatesArePlacedOnce()
{
    // 1 and 2 are each other's parent; 3 hangs below 2; 4 repeats id 1.
    const std::vector<CategoryRow> rows{{1, 2, QStringLiteral("甲")},
                                        {2, 1, QStringLiteral("乙")},
                                        {3, 2, QStringLiteral("丙")},
                                        {1, 0, QStringLiteral("重复")},
                                        {5, QVariant(), QStringLiteral("无父")}};
    const std::vector<CategoryPlacement> placed = placeCategories(rows);
    QStringList got;
    for (const CategoryPlacement &p : placed)
        got.append(p.parentKey + QLatin1Char('>') + p.key + QLatin1Char(':') + p.name);
    QCOMPARE(got, (QStringList{QStringLiteral("boot>K_1:重复"), QStringLiteral("boot>K_5:无父"),
                               QStringLiteral("K_1>K_2:乙"), QStringLiteral("K_2>K_3:丙")}));
}

void TestWorkspaceLogic::listStatementsRunWithOtherColumns()
{
    const ListSql search = ListSql::search(QStringLiteral("x"));
    QVERIFY(search.text.startsWith(QStringLiteral("select * from 企业日记 where ")));
    QVERIFY(search.text.endsWith(QStringLiteral("'%'    ORDER by 处理 asc,bookid desc")));
    QCOMPARE(search.params, QVariantList{QStringLiteral("x")});
    QCOMPARE(ListSql::countOf(7).filter.select(QStringLiteral("count(*)"), false),
             QStringLiteral("select count(*) from 企业日记 where 分类=?1"));
    QCOMPARE(ListSql::countOf(0).filter.select(QStringLiteral("count(*)"), false),
             QStringLiteral("select count(*) from 企业日记 "));
    QCOMPARE(ListSql::countOf(0).text, QStringLiteral("select * from 企业日记 "));
    // Every filter's statement names its columns once, with the list order after the
    // condition: the ids-only list runs the same condition as the full one.
    for (const ListSql &list : {ListSql::allNotes(), ListSql::pendingNotes(),
                                ListSql::categoryNotes(3), ListSql::search(QStringLiteral("%"))}) {
        const QString ids = list.filter.select(QStringLiteral("bookid,处理"));
        QCOMPARE(ids.mid(QStringLiteral("select bookid,处理").size()),
                 list.text.mid(QStringLiteral("select *").size()));
        QVERIFY(list.text.endsWith(QStringLiteral(" ORDER by 处理 asc,bookid desc")));
    }

    TestFolder folder;
    addNote(QStringLiteral("一"), {}, 7);
    addNote(QStringLiteral("二"), {}, 7, 1);
    addNote(QStringLiteral("三"), {}, 8);
    QCOMPARE(notestore::count(ListSql::countOf(7)), 2);
    QCOMPARE(notestore::count(ListSql::countOf(0)), 3);
    // A list reads ids and marks only; titles and times come for the rows shown.
    const std::vector<notestore::ListEntry> list = notestore::listRows(ListSql::categoryNotes(7));
    QCOMPARE(list.size(), std::size_t(2));
    const std::vector<NoteRow> rows = notestore::details(list.data(), list.size());
    QCOMPARE(rows[0].title, QStringLiteral("一"));
    QVERIFY(!rows[0].done);
    QVERIFY(rows[1].done);
}

void TestWorkspaceLogic::numbersFromBoxesAndPages()
{
    QCOMPARE(numericValue(QStringLiteral("0")), 0);
    QCOMPARE(numericValue(QStringLiteral(" 12ab")), 12);
    QCOMPARE(numericValue(QStringLiteral("x")), 0);
    QCOMPARE(numericValue(QString()), 0);
    QCOMPARE(numericValue(QStringLiteral("40000")), 40000);
    QCOMPARE(UpdateLaunch::pageVersion(QStringLiteral("113")), std::optional<qint64>(113));
    QCOMPARE(UpdateLaunch::pageVersion(QStringLiteral(" 1000 ")), std::optional<qint64>(1000));
    QCOMPARE(UpdateLaunch::pageVersion(QString()), std::nullopt);
    QCOMPARE(UpdateLaunch::pageVersion(QStringLiteral("1.1.3")), std::nullopt);
}

void TestWorkspaceLogic::exportCrossesChunkBoundaries()
{
    TestFolder folder;
    const int total = 2017; // with their bodies, more than one block of the file
    OpenDb();
    DbConn->Execute(
        QStringLiteral("with recursive n(i) as (select 1 union all select i+1 from n where i<?1) "
                       "insert into 企业日记 (标题, 内容, 分类, 时间) "
                       "select 'N'||i, hex(zeroblob(300)), i%2, '2001-02-03 04:05:06' from n"),
        {total});
    CloseDb();

    NoteExport all(exportPath(), 0);
    QVERIFY(all.write());
    QCOMPARE(all.count(), total);
    NoteExport odd(exportPath(), 1);
    QVERIFY(odd.write());
    QCOMPARE(odd.count(), (total + 1) / 2);

    QFile file(exportPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QStringList titles;
    for (const QByteArray &line : lines) {
        if (line.startsWith(QStringLiteral("标题：").toUtf8()))
            titles.append(QString::fromUtf8(line.mid(9).chopped(1)));
    }
    QCOMPARE(titles.size(), (total + 1) / 2);
    QCOMPARE(titles.first(), QStringLiteral("N1"));
    QCOMPARE(titles.value(1000), QStringLiteral("N2001"));
    QCOMPARE(titles.last(), QStringLiteral("N%1").arg(total));
}

VARNEL_TEST_CLASS(TestWorkspaceLogic);
#include "tst_workspacelogic.moc"

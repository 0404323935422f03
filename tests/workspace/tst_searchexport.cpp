// Search as the user types, its hint bubble, and the export file.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "store/datalayer.h"
#include "store/search/notesearch.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QtTest>

#include <limits>

class OpenerThatFails : public QObject
{
    Q_OBJECT
};

class TestSearchExport : public QObject
{
    Q_OBJECT

  private slots:
    void searchTextIsMatchedSafely_data();
    void searchTextIsMatchedSafely();
    void searchFindsTheShownDate();
    void searchFindsEveryStoredId_data();
    void searchFindsEveryStoredId();
    void clearingTheSearchListsEverything();
    void searchWithoutTheIndexEndsWithTheLastList_data();
    void searchWithoutTheIndexEndsWithTheLastList();
    void searchWhileTheIndexIsBuiltEndsExact();
    void searchThatFailsOffTheWindowsThreadIsReported();
    void clickShowsTheHintBubbleForAWhile();
    void exportWritesTheExactFormat();
    void exportEndsEveryLineWithCrLf();
    void exportTakesTheCategoryNotTheSearch();
    void emptyExportWritesTheHeaderOnly();
    void anEmptyNoteListsOpensSearchesAndExports();
    void unwritableExportFileIsReported();
    void editorThatCannotStartIsReported();
};

namespace
{

void addSearchNotes()
{
    addNote(QStringLiteral("it's"), {});
    addNote(QStringLiteral("双\"引号"), {});
    addNote(QStringLiteral("100%满"), {});
    addNote(QStringLiteral("a_b"), {});
    addNote(QStringLiteral("axb"), {});
    addNote(QStringLiteral("back\\slash"), {});
    addNote(QStringLiteral("普通"), QStringLiteral("密码是123"));
    addNote(QStringLiteral("旧事"), QStringLiteral("很久以前"), 0, 1,
            QStringLiteral("2008-08-08 09:05:00"));
}

// A note written by another program.
void insertFromOutside(const QString &title)
{
    sqlite3 *other = varnel::db::openKeyed(varnel::databasePath(), false);
    varnel::db::Statement(other,
                          QStringLiteral("insert into 企业日记 (标题, 内容, 处理) values (?1, '', 0)"),
                          {title})
        .step();
    sqlite3_close_v2(other);
}

QByteArray noteBlock(const QString &title, const QString &time, const QByteArray &body)
{
    return "\r\n\r\n" + QString(27, QChar(0x2500)).toUtf8() + "\r\n" +
           (QStringLiteral("标题：") + title).toUtf8() + "\r\n" +
           (QStringLiteral("时间：") + time).toUtf8() + "\r\n" + QByteArray(54, '-') + "\r\n" +
           body + "\r\n";
}

QByteArray header()
{
    return " Varnelpad\r\n " + varnel::siteUrl().toUtf8() + "\r\n";
}

QByteArray exportFile()
{
    QFile file(varnel::exportPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The search index kept over its memory budget, so that searches run as
// statements off the window's thread; the budget comes back at the end.
struct IndexOverBudget {
    varnel::search::NoteSearch &engine = varnel::DataLayer::current().search();
    IndexOverBudget() { engine.setMemoryBudget(1); }
    ~IndexOverBudget()
    {
        engine.setMemoryBudget(varnel::search::NoteSearch::defaultMemoryBudget());
    }
    IndexOverBudget(const IndexOverBudget &) = delete;
    IndexOverBudget &operator=(const IndexOverBudget &) = delete;
};

} // namespace

void TestSearchExport::searchTextIsMatchedSafely_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("single quote") << QStringLiteral("'") << QStringList{QStringLiteral("it's")};
    QTest::newRow("double quote") << QStringLiteral("\"")
                                  << QStringList{QStringLiteral("双\"引号")};
    QTest::newRow("backslash") << QStringLiteral("\\")
                               << QStringList{QStringLiteral("back\\slash")};
    QTest::newRow("underscore is a wildcard")
        << QStringLiteral("a_b") << QStringList{QStringLiteral("axb"), QStringLiteral("a_b")};
    QTest::newRow("percent is a wildcard")
        << QStringLiteral("1%满") << QStringList{QStringLiteral("100%满")};
    QTest::newRow("content") << QStringLiteral("密码") << QStringList{QStringLiteral("普通")};
    QTest::newRow("statement text is only text")
        << QStringLiteral("'; drop table 企业日记; --") << QStringList();
}

void TestSearchExport::searchTextIsMatchedSafely()
{
    QFETCH(QString, text);
    QFETCH(QStringList, titles);
    Workspace ws;
    addSearchNotes();
    ws.show();
    DialogCatcher dialogs;
    ws.edit("txtCZ")->setText(text);
    QCOMPARE(ws.titles(), titles);
    QCOMPARE(dialogs.seen, QStringList());
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记")).toInt(), 8);
}

void TestSearchExport::searchFindsTheShownDate()
{
    Workspace ws;
    addSearchNotes();
    ws.show();
    QTest::keyClicks(ws.edit("txtCZ"), QStringLiteral("2008-8-8"));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("旧事")});
    ws.edit("txtCZ")->setText(QStringLiteral("8-8 9:05"));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("旧事")});
    // The search neither recounts nor changes the category.
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【8】条信息"));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("0"));
}

void TestSearchExport::searchFindsEveryStoredId_data()
{
    QTest::addColumn<qint64>("bookid");
    QTest::newRow("zero") << qint64(0);
    QTest::newRow("negative") << qint64(-7);
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min();
    QTest::newRow("largest") << std::numeric_limits<qint64>::max();
}

void TestSearchExport::searchFindsEveryStoredId()
{
    QFETCH(qint64, bookid);
    Workspace ws;
    addSearchNotes();
    TestFolder::exec(QStringLiteral("insert into 企业日记 (bookid, 标题, 内容, 分类, 处理) "
                                    "values (%1, '编号特例', '', 0, 0)")
                         .arg(bookid));
    ws.show();
    for (const QString &text : {QStringLiteral("特"), QStringLiteral("编号特例")}) {
        ws.edit("txtCZ")->setText(text);
        QCOMPARE(ws.titles(), QStringList{QStringLiteral("编号特例")});
    }
    QVERIFY(ws.clickRow(0));
    QCOMPARE(ws.edit("Text3")->text(), QString::number(bookid));
}

void TestSearchExport::clearingTheSearchListsEverything()
{
    Workspace ws;
    addSearchNotes();
    ws.show();
    ws.edit("txtCZ")->setText(QStringLiteral("普通"));
    QCOMPARE(ws.rows(), 1);
    ws.edit("txtCZ")->clear();
    QCOMPARE(ws.rows(), 8);
    QCOMPARE(ws.titles().last(), QStringLiteral("旧事")); // done notes last
}

void TestSearchExport::searchWithoutTheIndexEndsWithTheLastList_data()
{
    QTest::addColumn<QStringList>("steps"); // texts typed into the box; "@all" clicks 所有信息
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("the newer text wins")
        << QStringList{"甲", "乙"} << QStringList{"乙"};
    QTest::newRow("typed on and deleted back")
        << QStringList{"甲", "甲一", "甲"} << QStringList{"甲二", "甲一"};
    QTest::newRow("a list action replaces the search")
        << QStringList{"甲", "@all"} << QStringList{"乙", "甲二", "甲一"};
    QTest::newRow("deleted to empty lists all")
        << QStringList{"乙", ""} << QStringList{"乙", "甲二", "甲一"};
    QTest::newRow("nothing matches") << QStringList{"丙"} << QStringList{};
}

// While the index cannot answer (here: over its memory budget) a search runs
// off the window's thread under a sign in the list; each newer text or list
// replaces the one under way, and the list ends as the last one says.
void TestSearchExport::searchWithoutTheIndexEndsWithTheLastList()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, titles);
    const IndexOverBudget noIndex;
    varnel::search::NoteSearch &engine = noIndex.engine;
    Workspace ws;
    addNote(QStringLiteral("甲一"), {});
    addNote(QStringLiteral("甲二"), {});
    addNote(QStringLiteral("乙"), {});
    ws.show();
    QVERIFY(!engine.ready());
    QLabel *sign = ws.label("Lab_searching");
    QVERIFY(sign && !sign->isVisible());
    for (const QString &step : steps) {
        if (step == QLatin1String("@all"))
            QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
        else
            ws.edit("txtCZ")->setText(step);
    }
    QCOMPARE(sign->isVisible(), steps.last() != QLatin1String("@all"));
    QTRY_VERIFY_WITH_TIMEOUT(!sign->isVisible(), 20000);
    QCOMPARE(ws.titles(), titles);
    QTest::qWait(300); // nothing of an older search arrives late
    QCOMPARE(ws.titles(), titles);
}

// Keys typed while the index is read anew after another program's write end
// with the exact list, whichever of the statement and the index answers.
void TestSearchExport::searchWhileTheIndexIsBuiltEndsExact()
{
    Workspace ws;
    varnel::OpenDb();
    varnel::DbConn->Execute(QStringLiteral("begin"));
    for (int i = 0; i < 3000; ++i)
        varnel::DbConn->Execute(
            QStringLiteral("insert into 企业日记 (标题, 内容, 处理) values (?1, ?2, ?3)"),
            {QStringLiteral("第%1篇").arg(i), QStringLiteral("正文%1 密码").arg(i * 7), i % 3});
    varnel::DbConn->Execute(QStringLiteral("commit"));
    varnel::CloseDb();
    ws.show();
    insertFromOutside(QStringLiteral("外来的密码"));
    QLabel *sign = ws.label("Lab_searching");
    for (const char *text : {"密", "密码", "7 密", "1", "12", "密码"})
        ws.edit("txtCZ")->setText(QString::fromUtf8(text));
    QTRY_VERIFY_WITH_TIMEOUT(!sign->isVisible(), 30000);
    QCOMPARE(ws.rows(), 3001);
    QCOMPARE(ws.titles().first(), QStringLiteral("外来的密码"));
    ws.edit("txtCZ")->setText(QStringLiteral("7 密"));
    QTRY_VERIFY_WITH_TIMEOUT(!sign->isVisible(), 30000);
    QCOMPARE(ws.rows(),
             sqlValue(QStringLiteral("select count(*) from 企业日记 where 内容 like '%7 密%'")).toInt());
}

// A search the statement refuses (a pattern longer than SQLite allows) while
// the index cannot answer: the failure comes back from the reading thread as
// a message that names the search text as the trouble, the list and its sign
// are cleared, and the next search works.
void TestSearchExport::searchThatFailsOffTheWindowsThreadIsReported()
{
    const IndexOverBudget noIndex;
    varnel::search::NoteSearch &engine = noIndex.engine;
    Workspace ws;
    addNote(QStringLiteral("甲一"), {});
    addNote(QStringLiteral("乙"), {});
    ws.show();
    QVERIFY(!engine.ready());
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    // As many characters as the box takes, three bytes each in UTF-8.
    ws.edit("txtCZ")->setText(QString(60000, QChar(0x7684)));
    const QString typed = ws.edit("txtCZ")->text();
    QTRY_COMPARE_WITH_TIMEOUT(answers.seen().size(), 1, 20000);
    QCOMPARE(answers.last().title, QStringLiteral("错误提示"));
    // It says what was wrong: the text, not the file.
    QVERIFY(answers.last().text.startsWith(QStringLiteral("无法按这段文字搜索数据库文件")));
    QVERIFY(answers.last().text.contains(QStringLiteral("搜索内容太长")));
    QVERIFY(answers.last().text.contains(QStringLiteral("文件中已有的信息都没有变")));
    QVERIFY(answers.last().text.contains(QStringLiteral("pattern too complex")));
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    QCOMPARE(ws.edit("txtCZ")->text(), typed); // the text typed stays
    QVERIFY(!ws.label("Lab_searching")->isVisible());
    QCOMPARE(ws.rows(), 0);
    ws.edit("txtCZ")->setText(QStringLiteral("甲"));
    QTRY_VERIFY_WITH_TIMEOUT(!ws.label("Lab_searching")->isVisible(), 20000);
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("甲一")});
}

void TestSearchExport::clickShowsTheHintBubbleForAWhile()
{
    Workspace ws;
    ws.show();
    QWidget *bubble = ws.get<QWidget>("pao2");
    QTest::mouseClick(ws.edit("txtCZ"), Qt::LeftButton);
    QVERIFY(bubble->isVisible());
    QCOMPARE(bubble->pos(), QPoint(272, 128));
    QCOMPARE(ws.label("Lab_pao2")->text(), QStringLiteral("关键字 例如：密码\n\n日") +
                                               QChar(0x3000) + QStringLiteral("期 例如：2008-8-8"));
    QTRY_VERIFY_WITH_TIMEOUT(bubble->isHidden(), 15000);
}

void TestSearchExport::exportWritesTheExactFormat()
{
    Workspace ws;
    addNote(QStringLiteral("标题一"), QStringLiteral("第一行\n第二行"), 0, 0,
            QStringLiteral("2008-08-08 09:05:00"));
    addNote(QStringLiteral("二"), QString(), 4, 1, QStringLiteral("2010-12-31 23:59:59"));
    ws.show();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().title, QStringLiteral("Varnel提示"));
    QCOMPARE(answers.last().text, QStringLiteral("已导出2 篇内容"));
    QCOMPARE(answers.last().icon, int(QMessageBox::Information));

    const QByteArray expected =
        header() +
        noteBlock(QStringLiteral("标题一"), QStringLiteral("2008-8-8 9:05:00"),
                  QStringLiteral("第一行\r\n第二行").toUtf8()) +
        noteBlock(QStringLiteral("二"), QStringLiteral("2010-12-31 23:59:59"), QByteArray());
    QCOMPARE(exportFile(), expected);
    QCOMPARE(ws.files.opened, QList<QUrl>{QUrl::fromLocalFile(varnel::exportPath())});
}

// Lone CR, lone LF and CR LF in stored text all come out as CR LF.
void TestSearchExport::exportEndsEveryLineWithCrLf()
{
    Workspace ws;
    addNote(QStringLiteral("上\n下"), QStringLiteral("a\rb\r\nc\n\rd\r"), 0, 0,
            QStringLiteral("2008-08-08 09:05:00"));
    ws.show();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(exportFile(),
             header() + noteBlock(QStringLiteral("上\r\n下"), QStringLiteral("2008-8-8 9:05:00"),
                                  "a\r\nb\r\nc\r\n\r\nd\r\n"));
}

void TestSearchExport::exportTakesTheCategoryNotTheSearch()
{
    Workspace ws;
    addCategory(4, 0, QStringLiteral("四"));
    addNote(QStringLiteral("四甲"), QStringLiteral("a"), 4, 0,
            QStringLiteral("2020-01-02 03:04:05"));
    addNote(QStringLiteral("零"), QStringLiteral("b"), 0);
    addNote(QStringLiteral("四乙"), QStringLiteral("c"), 4, 1,
            QStringLiteral("2020-01-02 03:04:06"));
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_4")));
    ws.edit("txtCZ")->setText(QStringLiteral("零"));
    QFile::remove(varnel::exportPath());
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(answers.last().text, QStringLiteral("已导出2 篇内容"));
    QCOMPARE(exportFile(),
             header() + noteBlock(QStringLiteral("四甲"), QStringLiteral("2020-1-2 3:04:05"), "a") +
                 noteBlock(QStringLiteral("四乙"), QStringLiteral("2020-1-2 3:04:06"), "c"));
}

void TestSearchExport::emptyExportWritesTheHeaderOnly()
{
    Workspace ws;
    ws.show();
    QFile old(varnel::exportPath());
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older, longer export that must not survive");
    old.close();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(answers.last().text, QStringLiteral("已导出0 篇内容"));
    QCOMPARE(exportFile(), header());
}

// F1 in a blank editor stores a note with an empty title and body; it goes
// through every list, the editor, the search and the export like any other.
void TestSearchExport::anEmptyNoteListsOpensSearchesAndExports()
{
    Workspace ws;
    addNote(QStringLiteral("有字"), QStringLiteral("正文"));
    ws.show();
    QTest::keyRelease(ws.get<QPlainTextEdit>("Text2"), Qt::Key_F1);
    QCOMPARE(
        sqlValue(QStringLiteral("select count(*) from 企业日记 where 标题='' and 内容=''")).toInt(),
        1);
    const QString time =
        sqlValue(QStringLiteral("select 时间 from 企业日记 where 标题=''")).toString();
    QCOMPARE(ws.titles(), (QStringList{QString(), QStringLiteral("有字")}));
    {
        DialogCatcher quiet;
        QVERIFY(ws.clickRow(0));
        QCOMPARE(ws.edit("Text1")->text(), QString());
        QVERIFY(!ws.edit("Text3")->text().isEmpty());
        QVERIFY(ws.button("cmd_ok")->isEnabled());
        ws.edit("txtCZ")->setText(time.left(4)); // the year of the shown date
        QCOMPARE(ws.titles(), (QStringList{QString(), QStringLiteral("有字")}));
        ws.edit("txtCZ")->setText(QStringLiteral("正文"));
        QCOMPARE(ws.titles(), QStringList{QStringLiteral("有字")});
        QCOMPARE(quiet.seen, QStringList());
    }
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(answers.last().text, QStringLiteral("已导出2 篇内容"));
    QVERIFY(exportFile().contains(QByteArray("标题：\r\n")));
}

void TestSearchExport::unwritableExportFileIsReported()
{
    Workspace ws;
    addNote(QStringLiteral("有内容"), QStringLiteral("x"));
    ws.show();
    // A folder in the file's place cannot be written, not even by root.
    QVERIFY(QDir().mkpath(varnel::exportPath()));
    QString text;
    exportMustFail(ws, &text);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(text.contains(QStringLiteral("无法写入导出文件")), qPrintable(text));
}

void TestSearchExport::editorThatCannotStartIsReported()
{
    Workspace ws;
    ws.show();
    OpenerThatFails opener;
    // A handler without the method makes the desktop report failure.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "noSuchSlot");
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QTRY_COMPARE(answers.seen().size(), 2);
    QCOMPARE(answers.seen().at(0).text, QStringLiteral("已导出0 篇内容"));
    QCOMPARE(answers.seen().at(1).icon, int(QMessageBox::Warning));
    QVERIFY(answers.seen().at(1).text.contains(QDir::toNativeSeparators(varnel::exportPath())));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

VARNEL_TEST_CLASS(TestSearchExport);
#include "tst_searchexport.moc"

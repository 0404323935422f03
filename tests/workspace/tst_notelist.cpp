// The note list, its counters and the window's load: what the user sees after
// the window opens and after the list buttons and row clicks.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/backup/backupcopies.h"
#include "store/database.h"
#include "testfolder.h"

#include <QDir>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class TestNoteList : public QObject
{
    Q_OBJECT

  private slots:
    void loadShowsTitleCountAndBlankEditor();
    void listHasTheSixColumnsOnce();
    void emptyTableGivesEmptyListAndClicksDoNothing();
    void pendingNotesComeFirstWithTheirPictures();
    void rowClickLoadsTheNoteIntoTheEditor();
    void longTitlesShowTheirBeginningWhole_data();
    void bottomLinesShowWhole_data();
    void bottomLinesShowWhole();
    void longTitlesShowTheirBeginningWhole();
    void pendingButtonKeepsTheCategoryCount();
    void allNotesButtonResetsTheCategory();
    void aRefreshDuringTheWaitReplacesTheOuterOne();
    void aDatabaseFailureAtLoadIsReportedOnce();
    void aFailedLoadComesBackWhole();
    void aDamagedNotebookIsOfferedItsCopy();
};

void TestNoteList::loadShowsTitleCountAndBlankEditor()
{
    Workspace ws;
    addNote(QStringLiteral("一"), QStringLiteral("a"));
    addNote(QStringLiteral("二"), QStringLiteral("b"), 0, 1);
    ws.show();
    QCOMPARE(ws.label("lab_title")->text(), QStringLiteral("Varnelpad v1.1.2"));
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【2】条信息"));
    QCOMPARE(ws.label("lab_key")->text(),
             QStringLiteral("帮助：【F1】保存或修改 Ctrl+1呼叫Varnel"));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("0"));
    QCOMPARE(ws.edit("Text6")->text(), varnel::siteUrl());

    // Blank editor: only "保存" is usable; "提醒" is greyed out from the start.
    QVERIFY(ws.button("cmd_add")->isVisible() && ws.button("cmd_add")->isEnabled());
    QVERIFY(ws.button("Quxiao")->isHidden() && !ws.button("Quxiao")->isEnabled());
    QVERIFY(!ws.button("cmd_edit")->isEnabled());
    QVERIFY(!ws.button("cmd_del")->isEnabled());
    QVERIFY(!ws.button("cmd_ok")->isEnabled());
    QVERIFY(ws.edit("Text4")->isHidden());
    QVERIFY(!ws.button("cmd_otime")->isEnabled());
    QVERIFY(ws.button("cmdALL")->isEnabled());
    QVERIFY(ws.button("cmd_nopass")->isEnabled());
    QVERIFY(ws.button("cmd_change")->isVisible());
    QVERIFY(ws.button("cmd_change2")->isHidden());
    QVERIFY(ws.get<QWidget>("UpdateBox")->isHidden());
    QVERIFY(ws.get<QWidget>("pao1")->isHidden());
    QCOMPARE(ws.rows(), 2);
}

void TestNoteList::listHasTheSixColumnsOnce()
{
    Workspace ws;
    ws.show();
    QAbstractItemModel *model = ws.list()->model();
    QVERIFY(model);
    QCOMPARE(model->columnCount(), 6);
    const QStringList headers{QString(),
                              QStringLiteral("标题"),
                              QStringLiteral("内容"),
                              QStringLiteral("作者"),
                              QStringLiteral("时间"),
                              QStringLiteral("编号")};
    for (int c = 0; c < 6; ++c)
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), headers[c]);
    QHeaderView *header = ws.list()->horizontalHeader();
    QCOMPARE(header->sectionSize(0), 20);
    QCOMPARE(header->sectionSize(1), 247);
    for (int c = 2; c < 6; ++c)
        QCOMPARE(header->sectionSize(c), 0);

    // A second load of the window builds the same list, not more columns.
    ws.windows.unloadMainWindow();
    ws.show();
    QCOMPARE(ws.list()->model()->columnCount(), 6);
}

void TestNoteList::emptyTableGivesEmptyListAndClicksDoNothing()
{
    Workspace ws;
    ws.show();
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【0】条信息"));
    QCOMPARE(ws.rows(), 0);
    ws.edit("Text1")->setText(QStringLiteral("草稿"));
    QTest::mouseClick(ws.list()->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(ws.edit("Text1")->text(), QStringLiteral("草稿"));
    QVERIFY(ws.button("cmd_add")->isEnabled());
}

void TestNoteList::pendingNotesComeFirstWithTheirPictures()
{
    Workspace ws;
    addNote(QStringLiteral("旧待办"), {});
    addNote(QStringLiteral("已完成"), {}, 0, 1);
    addNote(QStringLiteral("新待办"), {});
    ws.show();
    QCOMPARE(ws.titles(), (QStringList{QStringLiteral("新待办"), QStringLiteral("旧待办"),
                                       QStringLiteral("已完成")}));
    QAbstractItemModel *model = ws.list()->model();
    const QColor pending =
        pictureColour(model->index(0, 0).data(Qt::DecorationRole).value<QIcon>());
    const QColor done = pictureColour(model->index(2, 0).data(Qt::DecorationRole).value<QIcon>());
    QVERIFY2(pending.red() > 150 && pending.blue() < 100, qPrintable(pending.name()));
    QVERIFY2(done.blue() > 150 && done.red() < 100, qPrintable(done.name()));
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("1"));
}

void TestNoteList::rowClickLoadsTheNoteIntoTheEditor()
{
    Workspace ws;
    const qint64 id = addNote(QStringLiteral("会议"), QStringLiteral("下午三点\n三楼"), 0, 0,
                              QStringLiteral("2008-08-08 09:05:00"));
    addNote(QStringLiteral("别的"), QStringLiteral("x"));
    ws.show();
    QVERIFY(ws.clickRow(QStringLiteral("会议")));
    QCOMPARE(ws.edit("Text1")->text(), QStringLiteral("会议"));
    QCOMPARE(ws.get<QPlainTextEdit>("Text2")->toPlainText(), QStringLiteral("下午三点\n三楼"));
    QCOMPARE(ws.edit("Text3")->text(), QString::number(id));
    QCOMPARE(ws.edit("Text4")->text(), QStringLiteral("2008-8-8 9:05:00"));
    QVERIFY(ws.edit("Text4")->isVisible());
    QVERIFY(ws.button("cmd_add")->isHidden() && !ws.button("cmd_add")->isEnabled());
    QVERIFY(ws.button("Quxiao")->isVisible() && ws.button("Quxiao")->isEnabled());
    QVERIFY(ws.button("cmd_edit")->isEnabled());
    QVERIFY(ws.button("cmd_del")->isEnabled());
    QVERIFY(ws.button("cmd_ok")->isEnabled());
}

namespace
{
// Whether any pixel of the column x of `image`, within rows top..bottom, is dark.
bool darkAt(const QImage &image, int x, int top, int bottom)
{
    for (int y = top; y <= bottom; ++y) {
        if (qGray(image.pixel(x, y)) < 128)
            return true;
    }
    return false;
}
} // namespace

// A title wider than its column ends in an ellipsis before the column's edge
// (no glyph cut in half there), and opened in the editor it shows from its
// first character.
void TestNoteList::longTitlesShowTheirBeginningWhole_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("Chinese") << QStringLiteral("很长的标题").repeated(20);
    QTest::newRow("Latin") << QStringLiteral("A long title ").repeated(20);
    QTest::newRow("mixed") << QStringLiteral("会议 meeting 记录 ").repeated(15);
}

void TestNoteList::longTitlesShowTheirBeginningWhole()
{
    QFETCH(QString, title);
    Workspace ws;
    addNote(title, QStringLiteral("正文"));
    ws.show();
    QTableView *view = ws.list();
    const QRect cell = view->visualRect(view->model()->index(0, 1));
    const QImage shot = view->viewport()->grab().toImage();
    int lastInk = -1;
    for (int x = cell.left(); x < cell.right(); ++x) {
        if (darkAt(shot, x, cell.top() + 1, cell.bottom() - 1))
            lastInk = x;
    }
    QVERIFY2(lastInk > cell.left() + cell.width() / 2, "the title is not drawn");
    QVERIFY2(lastInk < cell.right() - 2, "the title runs into the column's edge");

    QVERIFY(ws.clickRow(0));
    QLineEdit *box = ws.edit("Text1");
    QCOMPARE(box->text(), title);
    QCOMPARE(box->cursorPosition(), 0);
    QVERIFY(box->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() < 10);
}

namespace
{
// The window columns where the label's text is drawn: the window grabbed with
// and without it. {-1, -1} when nothing is drawn.
QPair<int, int> inkColumns(QWidget *window, QLabel *label)
{
    const QRect band(0, label->y(), window->width(), label->height());
    const QImage with = window->grab(band).toImage();
    const QString text = label->text();
    label->setText(QString());
    const QImage without = window->grab(band).toImage();
    label->setText(text);
    QPair<int, int> ink{-1, -1};
    for (int x = 0; x < with.width(); ++x) {
        for (int y = 0; y < with.height(); ++y) {
            if (with.pixel(x, y) != without.pixel(x, y)) {
                ink = {ink.first < 0 ? x : ink.first, x};
                break;
            }
        }
    }
    return ink;
}

// Checks that the whole text of the label is drawn inside it.
void checkWhole(QWidget *window, QLabel *label, QPair<int, int> ink)
{
    const QString what = label->objectName() + QLatin1Char(' ') + label->text();
    QVERIFY2(ink.first >= label->x(), qPrintable(what));
    QVERIFY2(ink.second < label->geometry().right() - 1, qPrintable(what + " runs into its edge"));
    QVERIFY2(ink.second - ink.first + 7 >= label->fontMetrics().horizontalAdvance(label->text()),
             qPrintable(what + " is not drawn whole"));
    QVERIFY(ink.second < window->width());
}
} // namespace

// The help line and the count line are seen whole at the counts of a big
// notebook, with the small and the large content box.
void TestNoteList::bottomLinesShowWhole_data()
{
    QTest::addColumn<int>("notes");
    QTest::addColumn<bool>("inCategory");
    QTest::addColumn<QString>("count");
    QTest::newRow("four-digit category") << 9999 << true << QStringLiteral("此分类【9999】条信息");
    QTest::newRow("million notes") << 1000000 << false << QStringLiteral("全部【1000000】条信息");
}

void TestNoteList::bottomLinesShowWhole()
{
    QFETCH(int, notes);
    QFETCH(bool, inCategory);
    QFETCH(QString, count);
    Workspace ws;
    addCategory(3, 0, QStringLiteral("三"));
    TestFolder::exec(QStringLiteral("insert into 企业日记 (标题, 内容, 分类) with recursive "
                                    "c(x) as (select 1 union all select x+1 from c where x<%1) "
                                    "select 'n', '', %2 from c")
                         .arg(notes)
                         .arg(inCategory ? 3 : 0));
    ws.show();
    if (inCategory)
        QVERIFY(ws.clickNode(QStringLiteral("K_3")));
    QLabel *sum = ws.label("Lab_Sum");
    QLabel *key = ws.label("lab_key");
    QCOMPARE(sum->text(), count);
    QCOMPARE(key->text(), QStringLiteral("帮助：【F1】保存或修改 Ctrl+1呼叫Varnel"));
    const QPair<int, int> keyInk = inkColumns(ws.window(), key);
    const QPair<int, int> sumInk = inkColumns(ws.window(), sum);
    checkWhole(ws.window(), key, keyInk);
    checkWhole(ws.window(), sum, sumInk);
    QVERIFY(keyInk.second < sumInk.first);
    const QRect band(0, key->y(), ws.window()->width(), key->height());
    const QImage small = ws.window()->grab(band).toImage();
    QTest::mouseClick(ws.button("cmd_change"), Qt::LeftButton);
    QCOMPARE(ws.window()->grab(band).toImage(), small); // the large box leaves them alone
}

void TestNoteList::pendingButtonKeepsTheCategoryCount()
{
    Workspace ws;
    addCategory(7, 0, QStringLiteral("七"));
    addNote(QStringLiteral("七一"), {}, 7);
    addNote(QStringLiteral("七二"), {}, 7, 1);
    addNote(QStringLiteral("七三"), {}, 7);
    addNote(QStringLiteral("别处"), {}, 0);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_7")));
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("此分类【3】条信息"));
    QCOMPARE(ws.rows(), 3);

    ws.edit("txtCZ")->setText(QStringLiteral("七"));
    QTest::mouseClick(ws.button("cmd_nopass"), Qt::LeftButton);
    QCOMPARE(ws.titles(),
             (QStringList{QStringLiteral("别处"), QStringLiteral("七三"), QStringLiteral("七一")}));
    QCOMPARE(ws.edit("txtCZ")->text(), QString());
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("此分类【3】条信息"));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("7"));
}

void TestNoteList::allNotesButtonResetsTheCategory()
{
    Workspace ws;
    addCategory(3, 0, QStringLiteral("三"));
    addNote(QStringLiteral("三一"), {}, 3);
    addNote(QStringLiteral("零一"), {}, 0);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_3")));
    QCOMPARE(ws.rows(), 1);
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(ws.rows(), 2);
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("0"));
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【2】条信息"));

    // Adding a note does not recount; "所有信息" does.
    addNote(QStringLiteral("后加"), {});
    ws.edit("txtCZ")->setText(QStringLiteral("后"));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("后加")});
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【2】条信息"));
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【3】条信息"));
}

void TestNoteList::aRefreshDuringTheWaitReplacesTheOuterOne()
{
    Workspace ws;
    addNote(QStringLiteral("苹果"), {});
    addNote(QStringLiteral("香蕉"), {});
    ws.show();
    QSignalSpy loads(ws.window(), &FrmMinBook::listLoaded);
    // "待办" lists at once, without letting queued events run first; the
    // search typed right after it then replaces its list.
    QLineEdit *search = ws.edit("txtCZ");
    QTimer::singleShot(0, search, [search] { search->setText(QStringLiteral("苹")); });
    QTest::mouseClick(ws.button("cmd_nopass"), Qt::LeftButton);
    QCOMPARE(loads.count(), 1);
    QCOMPARE(ws.titles(), (QStringList{QStringLiteral("香蕉"), QStringLiteral("苹果")}));
    QTRY_COMPARE(loads.count(), 2);
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("苹果")});
}

void TestNoteList::aDatabaseFailureAtLoadIsReportedOnce()
{
    Workspace ws;
    TestFolder::exec(QStringLiteral("drop table 分类"));
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    ws.show();
    QVERIFY(ws.window());
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().title, QStringLiteral("错误提示"));
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    // The count of step one is there; the window stays usable.
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【0】条信息"));
    QVERIFY(ws.edit("Text1")->isEnabled());
}

// The notebook away while the window loads, back by the next list action:
// the list, the skin picture and the tree all come back.
void TestNoteList::aFailedLoadComesBackWhole()
{
    Workspace ws;
    addCategory(7, 0, QStringLiteral("工作"));
    addNote(QStringLiteral("苹果"), QStringLiteral("一"));
    const QString live = varnel::databasePath();
    const QString away = live + QStringLiteral(".away");
    varnel::ShutdownDb();
    QVERIFY(QFile::rename(live, away));
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    ws.show();
    QVERIFY(ws.window());
    QCOMPARE(answers.seen().size(), 1);
    QVERIFY(ws.window()->backgroundPicture().isNull());
    QVERIFY(!ws.node(QStringLiteral("K_7")));

    QVERIFY(QFile::rename(away, live));
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("苹果")});
    QVERIFY(!ws.window()->backgroundPicture().isNull());
    QVERIFY(ws.node(QStringLiteral("K_7")));
    QCOMPARE(answers.seen().size(), 1);
}

// The notebook damaged under the window: the load's message offers the copy
// in data/backup, yes restores it, and the next list shows the copy's notes.
void TestNoteList::aDamagedNotebookIsOfferedItsCopy()
{
    Workspace ws;
    TestFolder::exec(QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 400) "
        "insert into 企业日记 (标题, 内容, 分类) select '笔记' || i, hex(randomblob(800)), 0 "
        "from n"));
    const QString live = varnel::databasePath();
    const QString backup = varnel::dataFolder() + QStringLiteral("/backup");
    varnel::ShutdownDb();
    QVERIFY(QDir().mkpath(backup));
    QVERIFY(QFile::copy(live, backup + QLatin1Char('/') +
                                  varnel::backupcopies::copyName(QDate::currentDate())));
    QByteArray bytes = fileContents(live);
    const qsizetype from = (bytes.size() / 4096) / 4 * 4096;
    bytes.replace(from, bytes.size() - from, QByteArray(bytes.size() - from, '\x5a'));
    QFile damaged(live);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(bytes) == bytes.size());
    damaged.close();

    // Yes to the offer, then OK to the word of the restore.
    QList<QMessageBox::StandardButton> replies{QMessageBox::Yes, QMessageBox::Ok};
    QStringList texts;
    QTimer answering;
    connect(&answering, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || replies.isEmpty() || texts.contains(box->text()))
            return;
        texts.append(box->text());
        box->button(replies.takeFirst())->click();
    });
    answering.start(20);
    ws.show();
    QTRY_VERIFY(replies.isEmpty());
    QVERIFY2(texts.value(0).contains(QStringLiteral("其中有 400 条记事")),
             qPrintable(texts.value(0)));
    QVERIFY2(texts.value(1).contains(QStringLiteral("已经用")), qPrintable(texts.value(1)));
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(ws.rows(), 400);
    QCOMPARE(QDir(varnel::dataFolder())
                 .entryList({QStringLiteral("pelbrook_data-damaged-*")}, QDir::Files)
                 .size(),
             1);
}

VARNEL_TEST_CLASS(TestNoteList);
#include "tst_notelist.moc"

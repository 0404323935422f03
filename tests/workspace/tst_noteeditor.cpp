// The note editor: its three states, the five actions, F1 in the title and
// content boxes, and the saved-message bubble.

#include "testmain.h"
#include "workspacefixture.h"

#include <QtTest>

class TestNoteEditor : public QObject
{
    Q_OBJECT

  private slots:
    void f1InTheContentBoxSavesANewNote();
    void saveButtonStoresTheCurrentCategory();
    void f1AfterARowClickChangesThatNote();
    void finishMarksDoneAndClearsTheEditor();
    void newClearsTheEditorAndRerunsTheSearch();
    void deleteAsksFirstAndDeclineKeepsEverything();
    void deleteWithoutAnIdSaysSo();
    void keysOtherThanF1DoNothing();
    void bigAndSmallContentBox();
    void aNoteDeletedMeanwhileIsReported();
};

void TestNoteEditor::f1InTheContentBoxSavesANewNote()
{
    Workspace ws;
    addNote(QStringLiteral("旧的"), {});
    ws.show();
    ws.edit("Text1")->setText(QStringLiteral("新标题"));
    ws.get<QPlainTextEdit>("Text2")->setPlainText(QStringLiteral("第一行\n第二行"));
    ws.edit("txtCZ")->setText(QStringLiteral("旧"));
    QTest::keyRelease(ws.get<QPlainTextEdit>("Text2"), Qt::Key_F1);

    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记 where 标题='新标题' and "
                                     "内容=?1 and 分类=0 and 处理=0"),
                      {QStringLiteral("第一行\n第二行")})
                 .toInt(),
             1);
    QCOMPARE(ws.titles(), (QStringList{QStringLiteral("新标题"), QStringLiteral("旧的")}));
    for (const char *box : {"Text1", "Text3", "Text4", "txtCZ"})
        QCOMPARE(ws.edit(box)->text(), QString());
    QCOMPARE(ws.get<QPlainTextEdit>("Text2")->toPlainText(), QString());
    QVERIFY(ws.button("cmd_add")->isEnabled());                               // still blank
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【1】条信息")); // not recounted

    QWidget *bubble = ws.get<QWidget>("pao1");
    QVERIFY(bubble->isVisible());
    QCOMPARE(ws.label("lab_pao1")->text(), QStringLiteral("新建内容已保存！"));
    QTRY_VERIFY_WITH_TIMEOUT(bubble->isHidden(), 10000);

    // An empty editor saved with F1 in the title box is stored empty.
    QTest::keyRelease(ws.edit("Text1"), Qt::Key_F1);
    QCOMPARE(
        sqlValue(QStringLiteral("select count(*) from 企业日记 where 标题='' and 内容=''")).toInt(),
        1);
}

void TestNoteEditor::saveButtonStoresTheCurrentCategory()
{
    Workspace ws;
    addCategory(5, 0, QStringLiteral("五"));
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_5")));
    ws.edit("Text1")->setText(QStringLiteral("归类"));
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(sqlValue(QStringLiteral("select 分类 from 企业日记 where 标题='归类'")).toInt(), 5);
    // "保存" lists every note, not only the category's, and shows no bubble.
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("归类")});
    QVERIFY(ws.get<QWidget>("pao1")->isHidden());
}

void TestNoteEditor::f1AfterARowClickChangesThatNote()
{
    Workspace ws;
    addCategory(5, 0, QStringLiteral("五"));
    const qint64 id = addNote(QStringLiteral("原标题"), QStringLiteral("原内容"), 5);
    ws.show();
    QVERIFY(ws.clickRow(QStringLiteral("原标题")));
    ws.edit("Text1")->setText(QStringLiteral("新标题"));
    ws.get<QPlainTextEdit>("Text2")->setPlainText(QStringLiteral("新内容"));
    QTest::keyRelease(ws.edit("Text1"), Qt::Key_F1);

    // No category selected: the changed note moves to none.
    QCOMPARE(sqlValue(QStringLiteral("select 标题||'/'||内容||'/'||分类 from 企业日记 where "
                                     "bookid=?1"),
                      {id})
                 .toString(),
             QStringLiteral("新标题/新内容/0"));
    QCOMPARE(ws.label("lab_pao1")->text(), QStringLiteral("内容修改成功！"));
    QVERIFY(ws.get<QWidget>("pao1")->isVisible());
    // Changed state: the boxes keep the note; "完成" waits for a new row click.
    QCOMPARE(ws.edit("Text1")->text(), QStringLiteral("新标题"));
    QCOMPARE(ws.edit("Text3")->text(), QString::number(id));
    QVERIFY(!ws.button("cmd_ok")->isEnabled());
    QVERIFY(ws.button("cmd_edit")->isEnabled() && ws.button("cmd_del")->isEnabled());
    QVERIFY(ws.button("Quxiao")->isVisible() && ws.button("cmd_add")->isHidden());
    QVERIFY(ws.edit("Text4")->isVisible());
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("新标题")});

    // With category 5 selected, "修改" files the note there.
    QVERIFY(ws.clickNode(QStringLiteral("K_5")));
    QTest::mouseClick(ws.button("cmd_edit"), Qt::LeftButton);
    QCOMPARE(sqlValue(QStringLiteral("select 分类 from 企业日记 where bookid=?1"), {id}).toInt(),
             5);
    QTRY_VERIFY_WITH_TIMEOUT(ws.get<QWidget>("pao1")->isHidden(), 10000);
}

void TestNoteEditor::finishMarksDoneAndClearsTheEditor()
{
    Workspace ws;
    addNote(QStringLiteral("更旧的待办"), {});
    const qint64 id = addNote(QStringLiteral("要完成"), QStringLiteral("x"));
    ws.show();
    QVERIFY(ws.clickRow(QStringLiteral("要完成")));
    QTest::mouseClick(ws.button("cmd_ok"), Qt::LeftButton);
    QCOMPARE(sqlValue(QStringLiteral("select 处理 from 企业日记 where bookid=?1"), {id}).toInt(),
             1);
    // A done note follows every pending one, even older ones.
    QCOMPARE(ws.titles(), (QStringList{QStringLiteral("更旧的待办"), QStringLiteral("要完成")}));
    QCOMPARE(ws.edit("Text1")->text(), QString());
    QCOMPARE(ws.edit("Text3")->text(), QString());
    QVERIFY(ws.edit("Text4")->isHidden());
    QVERIFY(ws.button("cmd_add")->isVisible() && ws.button("cmd_add")->isEnabled());
    QVERIFY(ws.button("Quxiao")->isHidden());
    QVERIFY(!ws.button("cmd_edit")->isEnabled() && !ws.button("cmd_del")->isEnabled() &&
            !ws.button("cmd_ok")->isEnabled());
}

void TestNoteEditor::newClearsTheEditorAndRerunsTheSearch()
{
    Workspace ws;
    addNote(QStringLiteral("甲"), {});
    addNote(QStringLiteral("乙"), {});
    ws.show();
    ws.edit("txtCZ")->setText(QStringLiteral("甲"));
    QCOMPARE(ws.rows(), 1);
    QVERIFY(ws.clickRow(QStringLiteral("甲")));
    QTest::mouseClick(ws.button("Quxiao"), Qt::LeftButton);
    QCOMPARE(ws.edit("txtCZ")->text(), QString());
    QCOMPARE(ws.rows(), 2); // the emptied search box listed again
    QCOMPARE(ws.edit("Text1")->text(), QString());
    QVERIFY(ws.button("cmd_add")->isVisible() && ws.button("cmd_add")->isEnabled());
    QVERIFY(ws.button("Quxiao")->isHidden() && !ws.button("Quxiao")->isEnabled());
    QVERIFY(!ws.button("cmd_edit")->isEnabled());
    QVERIFY(ws.edit("Text4")->isHidden());
}

void TestNoteEditor::deleteAsksFirstAndDeclineKeepsEverything()
{
    Workspace ws;
    const qint64 id = addNote(QStringLiteral("删我"), QStringLiteral("内容"));
    ws.show();
    QVERIFY(ws.clickRow(QStringLiteral("删我")));

    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::No);
    QTest::mouseClick(ws.button("cmd_del"), Qt::LeftButton);
    QCOMPARE(answers.last().title, QStringLiteral("提示"));
    QCOMPARE(answers.last().text, QStringLiteral("确认要删除吗?"));
    QCOMPARE(answers.last().icon, int(QMessageBox::Information));
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记")).toInt(), 1);
    QCOMPARE(ws.edit("Text3")->text(), QString::number(id));
    QVERIFY(ws.button("cmd_del")->isEnabled());

    answers.answerMessage(QMessageBox::Yes);
    QTest::mouseClick(ws.button("cmd_del"), Qt::LeftButton);
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记")).toInt(), 0);
    QCOMPARE(ws.rows(), 0);
    QCOMPARE(ws.edit("Text3")->text(), QString());
    QVERIFY(ws.button("cmd_add")->isEnabled() && !ws.button("cmd_del")->isEnabled());
}

void TestNoteEditor::deleteWithoutAnIdSaysSo()
{
    Workspace ws;
    addNote(QStringLiteral("留着"), {});
    ws.show();
    QVERIFY(ws.clickRow(QStringLiteral("留着")));
    ws.edit("Text3")->clear();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Yes); // the question
    answers.answerMessage(QMessageBox::Yes); // the notice (its only button)
    QTest::mouseClick(ws.button("cmd_del"), Qt::LeftButton);
    QTRY_COMPARE(answers.seen().size(), 2);
    QCOMPARE(answers.last().title, QStringLiteral("Varnel提示"));
    QCOMPARE(answers.last().text, QStringLiteral("请选中列表中的内容再删除"));
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记")).toInt(), 1);
}

void TestNoteEditor::keysOtherThanF1DoNothing()
{
    Workspace ws;
    ws.show();
    ws.edit("Text1")->setText(QStringLiteral("未保存"));
    QTest::keyRelease(ws.edit("Text1"), Qt::Key_F2);
    QTest::keyRelease(ws.get<QPlainTextEdit>("Text2"), Qt::Key_Return);
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记")).toInt(), 0);
    QVERIFY(ws.get<QWidget>("pao1")->isHidden());
}

void TestNoteEditor::bigAndSmallContentBox()
{
    Workspace ws;
    ws.show();
    QPlainTextEdit *body = ws.get<QPlainTextEdit>("Text2");
    QCOMPARE(body->height(), 136);
    QTest::mouseClick(ws.button("cmd_change"), Qt::LeftButton);
    // Its design height (344) less what the help and count line below need.
    QCOMPARE(body->geometry().bottom(), ws.label("lab_key")->y() - 3);
    QVERIFY(body->height() > 330);
    QVERIFY(ws.button("cmd_change")->isHidden() && ws.button("cmd_change2")->isVisible());
    // The big box lies over the list.
    QCOMPARE(ws.window()->childAt(ws.list()->geometry().center()), body->viewport());
    QTest::mouseClick(ws.button("cmd_change2"), Qt::LeftButton);
    QCOMPARE(body->height(), 136);
    QVERIFY(ws.button("cmd_change")->isVisible() && ws.button("cmd_change2")->isHidden());
}

void TestNoteEditor::aNoteDeletedMeanwhileIsReported()
{
    Workspace ws;
    const qint64 id = addNote(QStringLiteral("会消失"), {});
    ws.show();
    QVERIFY(ws.clickRow(QStringLiteral("会消失")));
    TestFolder::exec(QStringLiteral("delete from 企业日记 where bookid=%1").arg(id));
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::keyRelease(ws.edit("Text1"), Qt::Key_F1);
    QTRY_COMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().title, QStringLiteral("错误提示"));
    // No bubble claims success, and the editor keeps the text.
    QVERIFY(ws.get<QWidget>("pao1")->isHidden());
    QCOMPARE(ws.edit("Text1")->text(), QStringLiteral("会消失"));
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 企业日记")).toInt(), 0);
}

VARNEL_TEST_CLASS(TestNoteEditor);
#include "tst_noteeditor.moc"

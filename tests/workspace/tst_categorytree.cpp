// The category tree: building it from the table (odd rows too), the three
// menu actions with their dialogs, and clicks on categories and the root.

#include "testmain.h"
#include "workspacefixture.h"

#include "store/database.h"

#include <QMenu>
#include <QSet>
#include <QtTest>

class TestCategoryTree : public QObject
{
    Q_OBJECT

  private slots:
    void emptyTableGivesTheExpandedRootOnly();
    void oddRowsAllGetAPlaceAndAPicture();
    void anyShapeLoadsWhole_data();
    void anyShapeLoadsWhole();
    void clickListsAndCountsTheCategory();
    void idsAbove32767Work();
    void clickOnTheRootChangesNothing();
    void addAsksForANameAndCancelAddsNothing();
    void renameKeepsTheNotes();
    void renameOfADeletedCategoryReloadsTheTree();
    void deleteLeafKeepsNotesAndParentsStay();
    void renameAndDeleteDoNothingOnTheRoot();
    void rightClickOpensTheMenuWithoutSelecting();
};

void TestCategoryTree::emptyTableGivesTheExpandedRootOnly()
{
    Workspace ws;
    ws.show();
    QCOMPARE(ws.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem *root = ws.tree()->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("所有记事"));
    QCOMPARE(root->data(0, Qt::UserRole).toString(), QStringLiteral("boot"));
    QCOMPARE(root->childCount(), 0);
    QVERIFY(root->isExpanded());
    QVERIFY(root->icon(0).isNull());
}

void TestCategoryTree::oddRowsAllGetAPlaceAndAPicture()
{
    Workspace ws;
    addCategory(1, 0, QStringLiteral("工作"));
    addCategory(2, 1, QStringLiteral("项目")); // parent earlier
    addCategory(3, 9, QStringLiteral("孤儿")); // parent missing
    addCategory(4, 6, QStringLiteral("早到")); // parent comes later
    addCategory(5, 5, QStringLiteral("自指")); // its own parent
    addCategory(6, 0, QStringLiteral("晚到"));
    ws.show();
    QTreeWidgetItem *root = ws.node(QStringLiteral("boot"));
    QCOMPARE(ws.node(QStringLiteral("K_2"))->parent(), ws.node(QStringLiteral("K_1")));
    QCOMPARE(ws.node(QStringLiteral("K_3"))->parent(), root);
    QCOMPARE(ws.node(QStringLiteral("K_4"))->parent(), ws.node(QStringLiteral("K_6")));
    QCOMPARE(ws.node(QStringLiteral("K_5"))->parent(), root);
    for (int id = 1; id <= 6; ++id) {
        QTreeWidgetItem *item = ws.node(QStringLiteral("K_%1").arg(id));
        QVERIFY(item->isExpanded());
        const QColor colour = pictureColour(item->icon(0));
        QVERIFY2(colour.red() > 150 && colour.blue() < 100, qPrintable(item->text(0)));
    }
    // Top-level nodes in table order, every category once.
    QStringList top;
    for (int i = 0; i < root->childCount(); ++i)
        top.append(root->child(i)->text(0));
    QCOMPARE(top, (QStringList{QStringLiteral("工作"), QStringLiteral("晚到"),
                               QStringLiteral("孤儿"), QStringLiteral("自指")}));
}

namespace
{

// Categories 1..count, category i below parentOf(i), in one transaction.
void addCategories(int count, const std::function<qint64(int)> &parentOf)
{
    varnel::OpenDb();
    varnel::DbConn->Execute(QStringLiteral("begin"));
    for (int i = 1; i <= count; ++i) {
        varnel::DbConn->Execute(QStringLiteral("insert into 分类 (id, bh, mc) values (?1, ?2, ?3)"),
                                {i, parentOf(i), QString::number(i)});
    }
    varnel::DbConn->Execute(QStringLiteral("commit"));
    varnel::CloseDb();
}

// Every node below `top`, each with its depth, without recursion.
QList<QPair<QTreeWidgetItem *, int>> walk(QTreeWidgetItem *top)
{
    QList<QPair<QTreeWidgetItem *, int>> out{{top, 0}};
    for (qsizetype i = 0; i < out.size(); ++i) {
        for (int c = 0; c < out[i].first->childCount(); ++c)
            out.append({out[i].first->child(c), out[i].second + 1});
    }
    return out;
}

} // namespace

// The file may hold any parent numbers: chains tens of thousands deep, in
// either order, missing parents, cycles. The tree loads them all, each once,
// opened down to a sane depth and every node reachable below it.
void TestCategoryTree::anyShapeLoadsWhole_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("depth"); // of the deepest category
    QTest::newRow("chain 40000 deep") << 40000 << 0 << 40000;
    QTest::newRow("chain in reverse row order") << 3000 << 1 << 3000;
    QTest::newRow("parents missing") << 3000 << 2 << 1;
    QTest::newRow("two-category cycles") << 3000 << 3 << 2;
}

void TestCategoryTree::anyShapeLoadsWhole()
{
    QFETCH(int, count);
    QFETCH(int, shape);
    QFETCH(int, depth);
    const std::function<qint64(int)> parents[] = {
        [](int i) { return i - 1; },
        [count](int i) { return i == count ? 0 : i + 1; },
        [count](int i) { return count + i; },
        [](int i) { return i % 2 ? i + 1 : i - 1; },
    };
    Workspace ws;
    addCategories(count, parents[shape]);
    ws.show();
    const auto nodes = walk(ws.tree()->topLevelItem(0));
    QCOMPARE(nodes.size(), count + 1);
    int deepest = 0;
    QSet<QString> keys;
    for (const auto &[node, level] : nodes) {
        deepest = std::max(deepest, level);
        keys.insert(node->data(0, Qt::UserRole).toString());
        if (node->childCount() > 0)
            QCOMPARE(node->isExpanded(), level < 32);
    }
    QCOMPARE(deepest, depth);
    QCOMPARE(keys.size(), count + 1);
    // The first closed level opens and shows the next.
    for (const auto &[node, level] : nodes) {
        if (level == 32 && node->childCount() > 0) {
            QVERIFY(!ws.tree()->visualItemRect(node->child(0)).isValid());
            node->setExpanded(true);
            QVERIFY(ws.tree()->visualItemRect(node->child(0)).isValid());
            break;
        }
    }
    ws.windows.unloadMainWindow();
}

void TestCategoryTree::clickListsAndCountsTheCategory()
{
    Workspace ws;
    addCategory(3, 0, QStringLiteral("三"));
    addNote(QStringLiteral("三旧"), {}, 3);
    addNote(QStringLiteral("三完成"), {}, 3, 1);
    addNote(QStringLiteral("三新"), {}, 3);
    addNote(QStringLiteral("零"), {}, 0);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_3")));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("3"));
    QCOMPARE(ws.titles(), (QStringList{QStringLiteral("三新"), QStringLiteral("三旧"),
                                       QStringLiteral("三完成")}));
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("此分类【3】条信息"));
    // The search box keeps its text; the category's list replaced its result.
    ws.edit("txtCZ")->setText(QStringLiteral("零"));
    QVERIFY(ws.clickNode(QStringLiteral("K_3")));
    QCOMPARE(ws.edit("txtCZ")->text(), QStringLiteral("零"));
    QCOMPARE(ws.rows(), 3);
}

void TestCategoryTree::idsAbove32767Work()
{
    Workspace ws;
    addCategory(40000, 0, QStringLiteral("大号"));
    addCategory(3000000000LL, 40000, QStringLiteral("更大"));
    addNote(QStringLiteral("大号的"), {}, 40000);
    addNote(QStringLiteral("更大的"), {}, 3000000000LL);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_40000")));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("40000"));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("大号的")});
    QVERIFY(ws.clickNode(QStringLiteral("K_3000000000")));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("3000000000"));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("更大的")});
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("此分类【1】条信息"));
}

void TestCategoryTree::clickOnTheRootChangesNothing()
{
    Workspace ws;
    addCategory(2, 0, QStringLiteral("二"));
    addNote(QStringLiteral("二的"), {}, 2);
    addNote(QStringLiteral("零的"), {}, 0);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_2")));
    QVERIFY(ws.clickNode(QStringLiteral("boot")));
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("2"));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("二的")});
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("此分类【1】条信息"));
}

void TestCategoryTree::addAsksForANameAndCancelAddsNothing()
{
    Workspace ws;
    ws.show();
    ws.tree()->setCurrentItem(ws.node(QStringLiteral("boot")));
    DialogAnswerer answers;
    answers.answerInput(QStringLiteral(" 新分类 "));
    ws.action("addtree")->trigger();
    QCOMPARE(answers.last().title, QStringLiteral("增加分类"));
    QCOMPARE(answers.last().text, QStringLiteral("请输入要增加分类:"));
    const qint64 id =
        sqlValue(QStringLiteral("select id from 分类 where mc=' 新分类 ' and bh=0")).toLongLong();
    QVERIFY(id > 0);
    QTreeWidgetItem *added = ws.node(QStringLiteral("K_%1").arg(id));
    QVERIFY(added);
    QCOMPARE(added->text(0), QStringLiteral(" 新分类 "));
    QCOMPARE(added->parent(), ws.node(QStringLiteral("boot")));
    QVERIFY(!added->icon(0).isNull());

    answers.answerInput(QStringLiteral("不要"), false);
    ws.action("addtree")->trigger();
    QCOMPARE(answers.seen().size(), 2);
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 分类")).toInt(), 1);
}

void TestCategoryTree::renameKeepsTheNotes()
{
    Workspace ws;
    addCategory(4, 0, QStringLiteral("旧名"));
    addNote(QStringLiteral("四的"), {}, 4);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_4")));
    DialogAnswerer answers;
    answers.answerInput(QStringLiteral("新名"));
    ws.action("EditTree")->trigger();
    QCOMPARE(answers.last().title, QStringLiteral("修改分类"));
    QCOMPARE(answers.last().text, QStringLiteral("请输入新的分类:"));
    QCOMPARE(ws.node(QStringLiteral("K_4"))->text(0), QStringLiteral("新名"));
    QVERIFY(ws.clickNode(QStringLiteral("K_4")));
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("四的")});

    answers.answerInput(QString(), false);
    ws.action("EditTree")->trigger();
    QCOMPARE(sqlValue(QStringLiteral("select mc from 分类 where id=4")).toString(),
             QStringLiteral("新名"));
}

void TestCategoryTree::renameOfADeletedCategoryReloadsTheTree()
{
    Workspace ws;
    addCategory(4, 0, QStringLiteral("旧名"));
    addCategory(5, 0, QStringLiteral("别的"));
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_4")));
    TestFolder::exec(QStringLiteral("delete from 分类 where id=4")); // by another copy
    DialogAnswerer answers;
    answers.answerInput(QStringLiteral("新名"));
    answers.answerMessage(QMessageBox::Ok);
    ws.action("EditTree")->trigger();
    QCOMPARE(answers.seen().size(), 2);
    QVERIFY2(answers.last().text.contains(QStringLiteral("分类")), qPrintable(answers.last().text));
    QVERIFY(!answers.last().text.contains(QStringLiteral("列表")));
    QVERIFY(!ws.node(QStringLiteral("K_4")));
    QVERIFY(ws.node(QStringLiteral("K_5")));
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 分类")).toInt(), 1);
}

void TestCategoryTree::deleteLeafKeepsNotesAndParentsStay()
{
    Workspace ws;
    addCategory(1, 0, QStringLiteral("父"));
    addCategory(2, 1, QStringLiteral("子"));
    addNote(QStringLiteral("子的"), {}, 2);
    ws.show();

    // A category with sub-categories is left alone.
    ws.tree()->setCurrentItem(ws.node(QStringLiteral("K_1")));
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Yes);
    ws.action("treedel")->trigger();
    QCOMPARE(answers.last().title, QStringLiteral("Varnelpad"));
    QCOMPARE(answers.last().text, QStringLiteral("确定要删除该分类吗?"));
    QCOMPARE(answers.last().icon, int(QMessageBox::Question));
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 分类")).toInt(), 2);

    ws.tree()->setCurrentItem(ws.node(QStringLiteral("K_2")));
    answers.answerMessage(QMessageBox::No);
    ws.action("treedel")->trigger();
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 分类")).toInt(), 2);

    answers.answerMessage(QMessageBox::Yes);
    ws.action("treedel")->trigger();
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 分类")).toInt(), 1);
    QVERIFY(!ws.node(QStringLiteral("K_2")));
    QCOMPARE(sqlValue(QStringLiteral("select 分类 from 企业日记")).toInt(), 2);
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("子的")});
}

void TestCategoryTree::renameAndDeleteDoNothingOnTheRoot()
{
    Workspace ws;
    ws.show();
    ws.tree()->setCurrentItem(ws.node(QStringLiteral("boot")));
    DialogCatcher dialogs;
    ws.action("EditTree")->trigger();
    ws.action("treedel")->trigger();
    QCOMPARE(dialogs.seen, QStringList());
    QCOMPARE(sqlValue(QStringLiteral("select count(*) from 分类")).toInt(), 0);
    QVERIFY(ws.node(QStringLiteral("boot")));
}

void TestCategoryTree::rightClickOpensTheMenuWithoutSelecting()
{
    Workspace ws;
    addCategory(1, 0, QStringLiteral("一"));
    addCategory(2, 0, QStringLiteral("二"));
    ws.show();
    ws.tree()->setCurrentItem(ws.node(QStringLiteral("K_1")));
    const QRect rect = ws.tree()->visualItemRect(ws.node(QStringLiteral("K_2")));
    QTest::mouseClick(ws.tree()->viewport(), Qt::RightButton, {}, rect.center());
    auto *menu = ws.window()->findChild<QMenu *>(QStringLiteral("tree"));
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->title(), QStringLiteral("目录"));
    QStringList items;
    for (QAction *a : menu->actions())
        items.append(a->text());
    QCOMPARE(items, (QStringList{QStringLiteral("添加分类"), QStringLiteral("修改分类"),
                                 QStringLiteral("删除分类")}));
    QCOMPARE(ws.tree()->selectedItems().value(0), ws.node(QStringLiteral("K_1")));
    menu->hide();
}

VARNEL_TEST_CLASS(TestCategoryTree);
#include "tst_categorytree.moc"

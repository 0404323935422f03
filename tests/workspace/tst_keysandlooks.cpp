// The notes window for a keyboard user and a reader: the editor follows the
// list's highlight, the tree's highlight is the current category, the keys
// of the window, tips and indents, readable label colours, and where the
// window opens.

#include "testmain.h"
#include "workspacefixture.h"

#include "readablelabels.h"
#include "windowplacement.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QtTest>

namespace
{

void press(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(widget, key, modifiers);
}

QImage filled(QColor colour)
{
    QImage image(100, 40, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

class TestKeysAndLooks : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase() { WindowPlacement::forget(); }

    // Arrow keys, Home and End open the note they reach; a delete asked for
    // then removes exactly that note.
    void editorFollowsTheHighlight()
    {
        Workspace ws;
        for (const char *title : {"一", "二", "三"})
            addNote(QString::fromUtf8(title), QString::fromUtf8(title) + QStringLiteral("的内容"));
        ws.show();
        QTableView *list = ws.list();
        list->setFocus();
        const struct {
            Qt::Key key;
            const char *title;
        } moves[] = {
            {Qt::Key_Home, "三"}, {Qt::Key_Down, "二"}, {Qt::Key_End, "一"}, {Qt::Key_Up, "二"}};
        for (const auto &move : moves) {
            press(list, move.key);
            QCOMPARE(ws.edit("Text1")->text(), QString::fromUtf8(move.title));
            QCOMPARE(ws.get<QPlainTextEdit>("Text2")->toPlainText(),
                     QString::fromUtf8(move.title) + QStringLiteral("的内容"));
            QVERIFY(ws.button("cmd_del")->isEnabled());
        }
        DialogAnswerer answers;
        answers.answerMessage(QMessageBox::Yes);
        press(list, Qt::Key_Delete);
        QCOMPARE(answers.seen().size(), 1);
        QCOMPARE(ws.titles(), (QStringList{QStringLiteral("三"), QStringLiteral("一")}));
    }

    // Enter opens the highlighted note and hands the keyboard to its title;
    // after a change the list highlights the changed note, not another.
    void enterOpensAndTheChangedNoteStaysHighlighted()
    {
        Workspace ws;
        addNote(QStringLiteral("甲"), {});
        addNote(QStringLiteral("乙"), {});
        ws.show();
        ws.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ws.window()));
        QVERIFY(ws.clickRow(QStringLiteral("甲")));
        QTableView *list = ws.list();
        list->setFocus();
        press(list, Qt::Key_Up);
        QCOMPARE(ws.edit("Text1")->text(), QStringLiteral("乙"));
        press(list, Qt::Key_Return);
        QVERIFY(ws.edit("Text1")->hasFocus());
        ws.edit("Text1")->setText(QStringLiteral("乙二"));
        press(ws.edit("Text1"), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(ws.titles(), (QStringList{QStringLiteral("乙二"), QStringLiteral("甲")}));
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 0);
        QVERIFY(!ws.button("cmd_ok")->isEnabled()); // still the changed state
    }

    // The tree's arrow keys choose categories; "所有信息" and "待办" move the
    // highlight to the root; the keyboard on the root lists every note.
    void treeHighlightIsTheCategory()
    {
        Workspace ws;
        addCategory(1, 0, QStringLiteral("工作"));
        addCategory(2, 0, QStringLiteral("读书笔记"));
        addNote(QStringLiteral("工作一"), {}, 1);
        addNote(QStringLiteral("读书一"), {}, 2);
        addNote(QStringLiteral("别处"), {}, 0);
        ws.show();
        QTreeWidget *tree = ws.tree();
        tree->setFocus();
        const struct {
            Qt::Key key;
            const char *category;
            int rows;
        } moves[] = {{Qt::Key_Down, "1", 1}, {Qt::Key_Down, "2", 1}, {Qt::Key_Home, "0", 3}};
        for (const auto &move : moves) {
            press(tree, move.key);
            QCOMPARE(ws.edit("Text5")->text(), QString::fromLatin1(move.category));
            QCOMPARE(ws.rows(), move.rows);
        }
        for (const char *button : {"cmdALL", "cmd_nopass"}) {
            QVERIFY(ws.clickNode(QStringLiteral("K_2")));
            QTest::mouseClick(ws.button(button), Qt::LeftButton);
            QCOMPARE(tree->currentItem(), ws.node(QStringLiteral("boot")));
        }
    }

    // Tab leaves the body, Ctrl+Tab types a tab; Ctrl+N, Ctrl+F and Esc do
    // what their buttons do.
    void windowKeys()
    {
        Workspace ws;
        const qint64 id = addNote(QStringLiteral("有一条"), {});
        ws.show();
        ws.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ws.window()));
        QVERIFY(ws.clickRow(0));
        auto *body = ws.get<QPlainTextEdit>("Text2");
        body->setFocus();
        press(body, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(body->toPlainText(), QStringLiteral("\t"));
        press(body, Qt::Key_Tab);
        QVERIFY(!body->hasFocus());
        QCOMPARE(body->toPlainText(), QStringLiteral("\t"));

        press(ws.window(), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(ws.edit("Text1")->hasFocus());
        QVERIFY(ws.edit("Text3")->text().isEmpty());
        QVERIFY(ws.button("cmd_add")->isEnabled());
        press(ws.window(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(ws.edit("txtCZ")->hasFocus());
        press(ws.edit("txtCZ"), Qt::Key_Escape);
        QTRY_VERIFY(!ws.window());
        QCOMPARE(
            sqlValue(QStringLiteral("select count(*) from 企业日记 where bookid=?1"), {id}).toInt(),
            1);
    }

    // Tips give the whole name; four levels of categories show their names.
    void tipsAndIndents()
    {
        Workspace ws;
        const QString longTitle = QStringLiteral("很长的标题").repeated(20);
        addNote(longTitle, {});
        const char *names[] = {"读书笔记", "二级分类", "三级分类", "四级分类"};
        for (int level = 1; level <= 4; ++level)
            addCategory(level, level - 1, QString::fromUtf8(names[level - 1]));
        ws.show();
        QCOMPARE(ws.list()->model()->index(0, 1).data(Qt::ToolTipRole).toString(), longTitle);
        QTreeWidget *tree = ws.tree();
        for (int level = 1; level <= 4; ++level) {
            QTreeWidgetItem *node = ws.node(QStringLiteral("K_%1").arg(level));
            QVERIFY(node);
            QCOMPARE(node->toolTip(0), QString::fromUtf8(names[level - 1]));
            // At least two characters of the name stand inside the tree.
            const QRect row = tree->visualItemRect(node);
            const int textLeft = row.left() + tree->iconSize().width() + 4;
            const int room = tree->viewport()->width() - textLeft;
            QVERIFY2(room >= 2 * tree->fontMetrics().horizontalAdvance(QChar(0x8BFB)),
                     qPrintable(QStringLiteral("level %1 leaves %2 px").arg(level).arg(room)));
        }
        const QRect first = tree->visualItemRect(ws.node(QStringLiteral("K_1")));
        QVERIFY(first.left() + tree->iconSize().width() + 4 +
                    tree->fontMetrics().horizontalAdvance(QStringLiteral("读书笔记")) <=
                tree->viewport()->width());
    }

    // The colour and plate chosen for a text over a picture.
    void labelLooks_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<bool>("plate");
        const int text = int(ReadableLabels::Kind::Text), link = int(ReadableLabels::Kind::Link);
        QTest::newRow("light: the window's text")
            << filled(QColor(0xEE, 0xF4, 0xFB)) << text << QColor(0x1F, 0x2D, 0x3D) << false;
        QTest::newRow("gold: black")
            << filled(QColor(0xB9, 0x84, 0x1F)) << text << QColor(Qt::black) << false;
        QTest::newRow("navy: white")
            << filled(QColor(0x0B, 0x0E, 0x22)) << text << QColor(Qt::white) << false;
        QTest::newRow("light: blue link")
            << filled(Qt::white) << link << QColor(0, 0, 0xFF) << false;
        QTest::newRow("navy: light blue link")
            << filled(QColor(0x0B, 0x0E, 0x22)) << link << QColor(0x9C, 0xCB, 0xFF) << false;
        QImage stars = filled(QColor(0x20, 0x24, 0x48));
        QPainter(&stars).fillRect(QRect(50, 10, 3, 3), QColor(0xA8, 0xB8, 0xFF));
        QTest::newRow("stars: a plate") << stars << text << QColor(Qt::white) << true;
        QImage half = filled(Qt::black);
        QPainter(&half).fillRect(QRect(50, 0, 50, 40), Qt::white);
        QTest::newRow("black and white: a plate") << half << text << QColor() << true;
    }
    void labelLooks()
    {
        QFETCH(QImage, picture);
        QFETCH(int, kind);
        QFETCH(QColor, text);
        QFETCH(bool, plate);
        const QRect area(0, 0, 100, 40);
        const auto look = ReadableLabels::lookFor(picture, area, ReadableLabels::Kind(kind));
        if (text.isValid())
            QCOMPARE(look.text, text);
        QCOMPARE(look.plate.isValid(), plate);
        // Whatever was chosen reads against every pixel as seen through the plate.
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                QColor behind(picture.pixel(x, y));
                if (look.plate.isValid()) {
                    const double a = look.plate.alphaF();
                    behind = QColor(int(a * look.plate.red() + (1 - a) * behind.red() + 0.5),
                                    int(a * look.plate.green() + (1 - a) * behind.green() + 0.5),
                                    int(a * look.plate.blue() + (1 - a) * behind.blue() + 0.5));
                }
                QVERIFY(ReadableLabels::contrast(look.text, behind) >= 4.49);
            }
    }

    void contrastRatios_data()
    {
        QTest::addColumn<QColor>("a");
        QTest::addColumn<QColor>("b");
        QTest::addColumn<double>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("same") << QColor(0x33, 0x66, 0x99) << QColor(0x33, 0x66, 0x99) << 1.0;
        QTest::newRow("#777 on white") << QColor(0x77, 0x77, 0x77) << QColor(Qt::white) << 4.48;
        QTest::newRow("blue on white") << QColor(0, 0, 0xFF) << QColor(Qt::white) << 8.59;
    }
    void contrastRatios()
    {
        QFETCH(QColor, a);
        QFETCH(QColor, b);
        QFETCH(double, ratio);
        QVERIFY(std::abs(ReadableLabels::contrast(a, b) - ratio) < 0.01);
        QVERIFY(std::abs(ReadableLabels::contrast(b, a) - ratio) < 0.01);
    }

    // A window kept whole inside the screen, as near the wanted place as can be.
    void keptInside_data()
    {
        QTest::addColumn<QPoint>("wanted");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("placed");
        const QSize w(455, 418);
        QTest::newRow("inside stays") << QPoint(100, 80) << w << QPoint(100, 80);
        QTest::newRow("off the right") << QPoint(1000, 80) << w << QPoint(825, 80);
        QTest::newRow("off the bottom left") << QPoint(-50, 900) << w << QPoint(0, 606);
        QTest::newRow("above the top") << QPoint(10, -300) << w << QPoint(10, 0);
        QTest::newRow("larger: top left") << QPoint(300, 300) << QSize(1400, 1100) << QPoint(0, 0);
    }
    void keptInside()
    {
        QFETCH(QPoint, wanted);
        QFETCH(QSize, size);
        QFETCH(QPoint, placed);
        QCOMPARE(WindowPlacement::keptInside(wanted, size, QRect(0, 0, 1280, 1024)), placed);
    }
};

VARNEL_TEST_CLASS(TestKeysAndLooks);
#include "tst_keysandlooks.moc"

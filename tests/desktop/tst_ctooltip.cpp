// The balloon tip: which property changes reach a live tip, and a real tip
// coming and going over a real widget.

#include "balloontip.h"
#include "ctooltip.h"
#include "testmain.h"

#include <QEnterEvent>
#include <QPointer>
#include <QtTest>

class TestCTooltip : public QObject
{
    Q_OBJECT

  private slots:
    void defaults();
    void createBuildsTheTipFromTheProperties();
    void createTakesTitleWhenTitleOrIconIsSet_data();
    void createTakesTitleWhenTitleOrIconIsSet();
    void liveTipTakesTitleOnlyWithBothTitleAndIcon();
    void liveTipAlwaysTakesColoursAndText();
    void shapeAndTimesWaitForTheNextCreate();
    void destroyIsHarmlessAndFollowsTheOwner();
    void tipShowsAfterRestingAndGoesAfterVisibleTime();
    void leavingTheToolHidesTheTip();
    void centredTipSitsBelowTheToolsMiddle();

  private:
    static BalloonTip *tipOf(const CTooltip &t)
    {
        return qobject_cast<BalloonTip *>(t.tipWindow());
    }
    static void enter(QWidget *tool)
    {
        const QPointF local(tool->width() / 2.0, tool->height() / 2.0);
        QEnterEvent event(local, local, tool->mapToGlobal(local));
        QCoreApplication::sendEvent(tool, &event);
    }
};

void TestCTooltip::defaults()
{
    CTooltip t;
    QCOMPARE(t.BackColor(), 0u);
    QCOMPARE(t.Title(), QString());
    QCOMPARE(t.ForeColor(), 0u);
    QCOMPARE(t.Icon(), 0);
    QCOMPARE(t.Centered(), false);
    QCOMPARE(t.Style(), 0);
    QCOMPARE(t.TipText(), QString());
    QCOMPARE(t.VisibleTime(), 5000);
    QCOMPARE(t.DelayTime(), 100);
    QVERIFY(!t.tipWindow());
}

void TestCTooltip::createBuildsTheTipFromTheProperties()
{
    QWidget tool;
    CTooltip t;
    t.setStyle(1);
    t.setCentered(true);
    t.setTitle(QStringLiteral("提示"));
    t.setIcon(2);
    t.setForeColor(0x0000ff); // 0x00BBGGRR: red
    t.setBackColor(0);
    t.setTipText(QStringLiteral("双击查看"));
    t.setVisibleTime(1234);
    t.setDelayTime(56);
    t.Create(&tool);

    BalloonTip *tip = tipOf(t);
    QVERIFY(tip);
    QVERIFY(tip->windowFlags().testFlag(Qt::ToolTip));
    QVERIFY(!tip->isVisible());
    QCOMPARE(tip->tool(), &tool);
    QVERIFY(tip->isBalloon());
    QVERIFY(tip->isCentered());
    QCOMPARE(tip->title(), QStringLiteral("提示"));
    QCOMPARE(tip->titleIcon(), 2);
    QCOMPARE(tip->textColor(), QColor(255, 0, 0));
    QVERIFY(!tip->backgroundColor().isValid()); // 0: the desktop's colour
    QCOMPARE(tip->text(), QStringLiteral("双击查看"));
    QCOMPARE(tip->visibleTime(), 1234);
    QCOMPARE(tip->delayTime(), 56);

    // Any style but 1 is the plain tip.
    CTooltip plain;
    plain.setStyle(2);
    plain.Create(&tool);
    QVERIFY(!tipOf(plain)->isBalloon());
}

void TestCTooltip::createTakesTitleWhenTitleOrIconIsSet_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<int>("shownIcon");
    QTest::newRow("neither") << QString() << 0 << QString() << 0;
    QTest::newRow("title without icon") << QStringLiteral("T") << 0 << QStringLiteral("T") << 0;
    QTest::newRow("icon without title") << QString() << 3 << QString() << 3;
    QTest::newRow("both") << QStringLiteral("T") << 1 << QStringLiteral("T") << 1;
}

void TestCTooltip::createTakesTitleWhenTitleOrIconIsSet()
{
    QFETCH(QString, title);
    QFETCH(int, icon);
    QWidget tool;
    CTooltip t;
    t.setTitle(title);
    t.setIcon(icon);
    t.Create(&tool);
    QFETCH(QString, shownTitle);
    QFETCH(int, shownIcon);
    QCOMPARE(tipOf(t)->title(), shownTitle);
    QCOMPARE(tipOf(t)->titleIcon(), shownIcon);
}

void TestCTooltip::liveTipTakesTitleOnlyWithBothTitleAndIcon()
{
    QWidget tool;
    CTooltip t;
    t.Create(&tool);
    BalloonTip *tip = tipOf(t);

    t.setTitle(QStringLiteral("A")); // icon still 0: not passed on
    QCOMPARE(tip->title(), QString());
    t.setIcon(1); // now both: passed on
    QCOMPARE(tip->title(), QStringLiteral("A"));
    QCOMPARE(tip->titleIcon(), 1);
    t.setTitle(QString()); // empty title: not passed on
    QCOMPARE(tip->title(), QStringLiteral("A"));
    t.setIcon(0); // no icon: not passed on
    QCOMPARE(tip->titleIcon(), 1);
    t.setIcon(3);
    QCOMPARE(tip->titleIcon(), 1); // title is still empty
    t.setTitle(QStringLiteral("B"));
    QCOMPARE(tip->title(), QStringLiteral("B"));
    QCOMPARE(tip->titleIcon(), 3);

    // The same title set before Create is taken there even without an icon.
    t.setIcon(0);
    t.setTitle(QStringLiteral("C"));
    QCOMPARE(tipOf(t)->title(), QStringLiteral("B"));
    t.Create(&tool);
    QCOMPARE(tipOf(t)->title(), QStringLiteral("C"));
}

void TestCTooltip::liveTipAlwaysTakesColoursAndText()
{
    QWidget tool;
    CTooltip t;
    t.setForeColor(0x00ff00);
    t.Create(&tool);
    BalloonTip *tip = tipOf(t);
    QCOMPARE(tip->textColor(), QColor(0, 255, 0));

    t.setBackColor(0xff0000); // blue
    QCOMPARE(tip->backgroundColor(), QColor(0, 0, 255));
    t.setForeColor(0x102030);
    QCOMPARE(tip->textColor(), QColor(0x30, 0x20, 0x10));
    t.setForeColor(0); // back to the desktop's colour
    QVERIFY(!tip->textColor().isValid());
    t.setTipText(QStringLiteral("新内容"));
    QCOMPARE(tip->text(), QStringLiteral("新内容"));
    t.setTipText(QString());
    QCOMPARE(tip->text(), QString());
}

void TestCTooltip::shapeAndTimesWaitForTheNextCreate()
{
    QWidget tool;
    CTooltip t;
    t.Create(&tool);
    QPointer<QWidget> first = t.tipWindow();

    t.setStyle(1);
    t.setCentered(true);
    t.setVisibleTime(700);
    t.setDelayTime(80);
    BalloonTip *tip = tipOf(t);
    QVERIFY(!tip->isBalloon());
    QVERIFY(!tip->isCentered());
    QCOMPARE(tip->visibleTime(), 5000);
    QCOMPARE(tip->delayTime(), 100);

    t.Create(&tool); // replaces the tip
    QVERIFY(first.isNull());
    tip = tipOf(t);
    QVERIFY(tip->isBalloon());
    QVERIFY(tip->isCentered());
    QCOMPARE(tip->visibleTime(), 700);
    QCOMPARE(tip->delayTime(), 80);
}

void TestCTooltip::destroyIsHarmlessAndFollowsTheOwner()
{
    CTooltip never;
    never.Destroy();
    never.Destroy();
    QVERIFY(!never.tipWindow());

    QWidget tool;
    QPointer<QWidget> tip;
    {
        auto t = std::make_unique<CTooltip>();
        t->Create(&tool);
        tip = t->tipWindow();
        t->Destroy();
        QVERIFY(tip.isNull());
        QVERIFY(!t->tipWindow());
        t->Destroy();
        t->Create(&tool);
        tip = t->tipWindow();
        QVERIFY(tip);
    } // the object goes, its tip with it
    QVERIFY(tip.isNull());

    // A tool that goes first takes the tip along; the object copes.
    auto doomed = std::make_unique<QWidget>();
    CTooltip t;
    t.Create(doomed.get());
    doomed.reset();
    QVERIFY(!t.tipWindow());
    t.Destroy();
    t.setTipText(QStringLiteral("x"));
    t.setIcon(1);
    t.setTitle(QStringLiteral("y"));

    t.Create(nullptr); // nothing to watch: no tip
    QVERIFY(!t.tipWindow());
}

void TestCTooltip::tipShowsAfterRestingAndGoesAfterVisibleTime()
{
    QWidget tool;
    tool.resize(200, 80);
    tool.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tool));

    CTooltip t;
    t.setStyle(1);
    t.setIcon(1);
    t.setTitle(QStringLiteral("Varnel提示"));
    t.setTipText(QStringLiteral("这里是提示"));
    t.setDelayTime(50);
    t.setVisibleTime(400);
    t.Create(&tool);
    QWidget *tip = t.tipWindow();

    enter(&tool);
    QTRY_VERIFY(tip->isVisible());
    QVERIFY(tip->width() > 0 && tip->height() > 0);
    // A balloon is cut to its shape: the corners are not part of it.
    QVERIFY(!tip->mask().isEmpty());
    QVERIFY(!tip->mask().contains(QPoint(0, 0)));
    QTRY_VERIFY(!tip->isVisible());

    // Shown once: not again until the pointer has left the tool.
    auto *balloon = qobject_cast<BalloonTip *>(tip);
    enter(&tool);
    QVERIFY(!balloon->isPending());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&tool, &leave);
    enter(&tool);
    QVERIFY(balloon->isPending());
    QTRY_VERIFY(tip->isVisible());

    // A tip without text has nothing to show and does not wait to show it.
    CTooltip empty;
    empty.Create(&tool);
    enter(&tool);
    QVERIFY(!qobject_cast<BalloonTip *>(empty.tipWindow())->isPending());
}

void TestCTooltip::leavingTheToolHidesTheTip()
{
    QWidget tool;
    tool.resize(120, 40);
    tool.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tool));
    CTooltip t;
    t.setTipText(QStringLiteral("plain"));
    t.setDelayTime(0);
    t.Create(&tool);
    enter(&tool);
    QTRY_VERIFY(t.tipWindow()->isVisible());
    QVERIFY(t.tipWindow()->mask().isEmpty()); // plain: a whole rectangle
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&tool, &leave);
    QVERIFY(!t.tipWindow()->isVisible());
}

void TestCTooltip::centredTipSitsBelowTheToolsMiddle()
{
    QWidget tool;
    tool.setGeometry(150, 120, 300, 60);
    tool.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tool));
    CTooltip t;
    t.setStyle(1);
    t.setCentered(true);
    t.setTipText(QStringLiteral("居中"));
    t.setDelayTime(0);
    t.Create(&tool);
    enter(&tool);
    QWidget *tip = t.tipWindow();
    QTRY_VERIFY(tip->isVisible());
    const QPoint toolBottomMiddle = tool.mapToGlobal(QPoint(tool.width() / 2, tool.height()));
    QVERIFY2(qAbs(tip->geometry().center().x() - toolBottomMiddle.x()) <= 1,
             qPrintable(QStringLiteral("tip %1, tool middle %2")
                            .arg(tip->geometry().center().x())
                            .arg(toolBottomMiddle.x())));
    QCOMPARE(tip->y(), toolBottomMiddle.y());
}

VARNEL_TEST_CLASS(TestCTooltip);
#include "tst_ctooltip.moc"

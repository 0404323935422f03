// The reminder pop-up under a real X server: pointer presses and moves by
// xdotool, and the pixels the server shows for it.

#include "desktoptesthelpers.h"
#include "frmring.h"
#include "testmain.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QtTest>

namespace
{

// A pop-up that has finished sliding in, drawn by the server.
FrmRing *restingRing()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<FrmRing *>(w))
            delete w;
    FrmRing *ring = FrmRing::showRing();
    if (!QTest::qWaitForWindowExposed(ring))
        return nullptr;
    if (!QTest::qWaitFor([ring] { return !ring->isSliding(); }, 20000))
        return nullptr;
    QTest::qWait(100);
    return ring;
}

bool pointer(const QString &action, QPoint global = {})
{
    const bool done =
        action == u"mousemove"
            ? xdotool({action, QString::number(global.x()), QString::number(global.y())})
            : xdotool({action, QStringLiteral("1")});
    QTest::qWait(100);
    return done;
}

bool darkBlue(QRgb p)
{
    return qBlue(p) > 120 && qRed(p) < 80 && qGreen(p) < 120;
}

} // namespace

class TestRingPointer : public QObject
{
    Q_OBJECT

  private slots:
    void pressAndMove_data();
    void pressAndMove();
    void frameIsDrawnWhole();
    void cleanupTestCase();
};

void TestRingPointer::pressAndMove_data()
{
    QTest::addColumn<QPoint>("press"); // window pixels
    QTest::addColumn<QPoint>("moveBy");
    QTest::addColumn<QPoint>("windowMoves");
    QTest::addColumn<bool>("closes");
    QTest::newRow("background, dragged")
        << QPoint(60, 80) << QPoint(-100, -50) << QPoint(-100, -50) << false;
    QTest::newRow("close spot, moved off")
        << QPoint(236, 12) << QPoint(-80, 60) << QPoint() << false;
    QTest::newRow("close spot, moved off the window")
        << QPoint(236, 12) << QPoint(-300, -200) << QPoint() << false;
    QTest::newRow("close spot, clicked") << QPoint(236, 12) << QPoint() << QPoint() << true;
}

void TestRingPointer::pressAndMove()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, moveBy);
    QFETCH(QPoint, windowMoves);
    QFETCH(bool, closes);
    QPointer<FrmRing> ring = restingRing();
    QVERIFY(ring);
    const QPoint before = ring->pos();
    const QPoint at = ring->mapToGlobal(press);
    QVERIFY(pointer(QStringLiteral("mousemove"), at));
    QVERIFY(pointer(QStringLiteral("mousedown")));
    // In steps, as a hand moves.
    for (int step = 1; step <= 4; ++step)
        QVERIFY(pointer(QStringLiteral("mousemove"), at + moveBy * step / 4));
    QVERIFY(pointer(QStringLiteral("mouseup")));
    if (closes) {
        QTRY_VERIFY(ring.isNull());
        return;
    }
    QVERIFY(ring && ring->isVisible());
    QCOMPARE(ring->pos(), before + windowMoves);
    QCOMPARE(ring->findChild<QLabel *>(QStringLiteral("Label1"))->frameShape(), QFrame::NoFrame);
}

void TestRingPointer::frameIsDrawnWhole()
{
    FrmRing *ring = restingRing();
    QVERIFY(ring);
    const QImage shown = QGuiApplication::primaryScreen()->grabWindow(ring->winId()).toImage();
    QCOMPARE(shown.size(), QSize(256, 158));
    // The outer frame line on all four edges, the bottom one included.
    const int right = shown.width() - 1, bottom = shown.height() - 1;
    for (int x = 40; x < 200; x += 20) {
        QVERIFY2(darkBlue(shown.pixel(x, bottom)), qPrintable(QString::number(x)));
        QVERIFY(!darkBlue(shown.pixel(x, bottom - 2)));
    }
    for (int y = 40; y < 140; y += 20) {
        QVERIFY(darkBlue(shown.pixel(0, y)));
        QVERIFY(darkBlue(shown.pixel(right, y)));
    }
}

void TestRingPointer::cleanupTestCase()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<FrmRing *>(w))
            delete w;
}

VARNEL_TEST_CLASS(TestRingPointer);
#include "tst_ringpointer.moc"

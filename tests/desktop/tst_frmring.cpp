// The reminder pop-up: where the slide-in stops, dragging, closing, and that
// there is only ever one.

#include "desktoptesthelpers.h"
#include "frmring.h"
#include "ringslide.h"
#include "testmain.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QtTest>

using namespace varnel::ring;

namespace
{
constexpr int kWidth = 3840; // twips
constexpr int kHeight = 2370;

void sendMouse(QWidget *w, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    const QPointF l(local);
    QMouseEvent event(type, l, l, QPointF(w->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// Presses at from (window pixels), moves the pointer by delta (pixels) with
// buttons held, releases.
void drag(QWidget *w, QPoint from, QPoint delta, Qt::MouseButton button)
{
    sendMouse(w, QEvent::MouseButtonPress, from, button, button);
    sendMouse(w, QEvent::MouseMove, from + delta, Qt::NoButton, button);
    sendMouse(w, QEvent::MouseButtonRelease, from + delta, button, Qt::NoButton);
}

QRect screenTwips()
{
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    return QRect(toTwips(g.x()), toTwips(g.y()), toTwips(g.width()), toTwips(g.height()));
}

void closeRings()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<FrmRing *>(w))
            delete w;
}

// A fresh pop-up, with none left from an earlier test.
FrmRing *freshRing()
{
    closeRings();
    return FrmRing::showRing();
}

// One that has finished sliding in, drawn by the X server.
FrmRing *restingRing()
{
    FrmRing *ring = freshRing();
    if (!QTest::qWaitForWindowExposed(ring) ||
        !QTest::qWaitFor([ring] { return !ring->isSliding(); }, 20000))
        return nullptr;
    QTest::qWait(100);
    return ring;
}

// xdotool moves the pointer to a global point, or presses or releases the left button.
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

int ringCount()
{
    int count = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        count += qobject_cast<FrmRing *>(w) && w->isVisible() ? 1 : 0;
    return count;
}
} // namespace

class TestFrmRing : public QObject
{
    Q_OBJECT

  private slots:
    void slideStopsJustAboveTheBottomOnAnyScreen_data();
    void slideStopsJustAboveTheBottomOnAnyScreen();
    void realSlideEndsAtTheBottomRight();
    void leftDragMovesRightDragDoesNot();
    void dragWhileSlidingCarriesOnFromTheNewPlace();
    void closeSpotShowsPressedAndCloses();
    void showingTwiceLeavesOneWindow();
    void cleanupTestCase();
};

void TestFrmRing::slideStopsJustAboveTheBottomOnAnyScreen_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::newRow("800x600") << QRect(0, 0, 800, 600);
    QTest::newRow("1280x1024") << QRect(0, 0, 1280, 1024);
    QTest::newRow("1366x768") << QRect(0, 0, 1366, 768);
    QTest::newRow("right of another, 1920x1080") << QRect(1280, 0, 1920, 1080);
    QTest::newRow("below another, 1024x768") << QRect(0, 1024, 1024, 768);
}

void TestFrmRing::slideStopsJustAboveTheBottomOnAnyScreen()
{
    QFETCH(QRect, screen);
    const int screenRight = toTwips(screen.x() + screen.width());
    const int screenBottom = toTwips(screen.y() + screen.height());

    const QPoint start = startPosition(screen, kWidth);
    QCOMPARE(start.x() + kWidth, screenRight);
    QCOMPARE(start.y(), screenBottom); // entirely below the screen

    int top = start.y();
    int ticks = 0;
    for (bool done = false; !done; ++ticks) {
        QVERIFY(ticks < 1000);
        const Step step = nextStep(top, screen, kHeight);
        QCOMPARE(step.top, top - 100);
        top = step.top;
        done = step.done;
    }
    const int gap = screenBottom - (top + kHeight);
    QVERIFY2(gap > 300 && gap <= 400, qPrintable(QString::number(gap)));
    QCOMPARE(ticks, 27);
    QCOMPARE(gap, 330);

    // Started anywhere higher up (after a drag), it stops at the first step.
    const Step fromHigh = nextStep(toTwips(screen.y() + 100), screen, kHeight);
    QVERIFY(fromHigh.done);
}

void TestFrmRing::realSlideEndsAtTheBottomRight()
{
    FrmRing *ring = freshRing();
    QVERIFY(ring->isSliding());
    QVERIFY(ring->positionTwips().y() >= screenTwips().bottom() - 100);
    QTRY_VERIFY_WITH_TIMEOUT(!ring->isSliding(), 20000);

    const QRect screen = screenTwips();
    const QPoint at = ring->positionTwips();
    QCOMPARE(at.x() + kWidth, screen.x() + screen.width());
    const int gap = screen.y() + screen.height() - (at.y() + kHeight);
    QVERIFY2(gap > 300 && gap <= 400, qPrintable(QString::number(gap)));

    // The pixels follow the twips.
    const QRect pixels = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(ring->size(), QSize(256, 158));
    QCOMPARE(ring->pos(), QPoint(toPixels(at.x()), toPixels(at.y())));
    QCOMPARE(ring->geometry().right(), pixels.right());
    const int pixelGap = pixels.bottom() - ring->geometry().bottom();
    QVERIFY(pixelGap >= 20 && pixelGap <= 27);
}

void TestFrmRing::leftDragMovesRightDragDoesNot()
{
    FrmRing *ring = freshRing();
    QTRY_VERIFY_WITH_TIMEOUT(!ring->isSliding(), 20000);
    const QPoint before = ring->positionTwips();

    drag(ring, QPoint(60, 80), QPoint(-100, -50), Qt::RightButton);
    QCOMPARE(ring->positionTwips(), before);
    drag(ring, QPoint(60, 80), QPoint(-100, -50), Qt::MiddleButton);
    QCOMPARE(ring->positionTwips(), before);

    // A move with no button held does nothing either.
    sendMouse(ring, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(ring->positionTwips(), before);

    // Two buttons at once: nothing.
    sendMouse(ring, QEvent::MouseButtonPress, QPoint(60, 80), Qt::LeftButton, Qt::LeftButton);
    sendMouse(ring, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton,
              Qt::LeftButton | Qt::RightButton);
    QCOMPARE(ring->positionTwips(), before);
    sendMouse(ring, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton, Qt::NoButton);

    drag(ring, QPoint(60, 80), QPoint(-100, -50), Qt::LeftButton);
    const QPoint moved = ring->positionTwips();
    QCOMPARE(moved.x(), before.x() - toTwips(100));
    QCOMPARE(moved.y(), before.y() - toTwips(50));
    QCOMPARE(ring->pos(), QPoint(toPixels(moved.x()), toPixels(moved.y())));
    QVERIFY(!ring->isSliding()); // a drag never starts the slide again
}

void TestFrmRing::dragWhileSlidingCarriesOnFromTheNewPlace()
{
    FrmRing *ring = freshRing();
    QVERIFY(ring->isSliding());
    // Grab it while it still sits below the screen and pull it to the top.
    const QPoint grab(100, 50);
    const QPoint target(300, 100); // global pixels for the grabbed spot
    sendMouse(ring, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    const QPointF local(target - ring->pos());
    QMouseEvent move(QEvent::MouseMove, local, local, QPointF(target), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(ring, &move);
    QCOMPARE(ring->pos(), target - grab);
    const int draggedTop = ring->positionTwips().y();
    QVERIFY(ring->isSliding());

    // High up already: the next tick rises once more and stops there.
    QTRY_VERIFY_WITH_TIMEOUT(!ring->isSliding(), 20000);
    QCOMPARE(ring->positionTwips().y(), draggedTop - 100);
    QCOMPARE(ring->positionTwips().x(), toTwips(target.x() - grab.x()));
}

void TestFrmRing::closeSpotShowsPressedAndCloses()
{
    QPointer<FrmRing> ring = freshRing();
    auto *label = ring->findChild<QLabel *>(QStringLiteral("Label1"));
    QVERIFY(label);
    QCOMPARE(label->geometry(), QRect(224, 0, 25, 25)); // 3360, 0, 375 x 375 twips
    QCOMPARE(label->text(), QString());
    QCOMPARE(label->frameShape(), QFrame::NoFrame);

    // Pressed and released away from the spot: the border comes and goes,
    // the window stays.
    sendMouse(label, QEvent::MouseButtonPress, QPoint(12, 12), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(label->frameShape(), QFrame::Box);
    sendMouse(label, QEvent::MouseButtonRelease, QPoint(-40, 60), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(label->frameShape(), QFrame::NoFrame);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(ring && ring->isVisible());

    // A right click shows the pressed look but does not close.
    sendMouse(label, QEvent::MouseButtonPress, QPoint(12, 12), Qt::RightButton, Qt::RightButton);
    QCOMPARE(label->frameShape(), QFrame::Box);
    sendMouse(label, QEvent::MouseButtonRelease, QPoint(12, 12), Qt::RightButton, Qt::NoButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(ring && ring->isVisible());

    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    QTRY_VERIFY(ring.isNull()); // unloaded

    // The next show loads a new one that slides in again.
    FrmRing *again = FrmRing::showRing();
    QVERIFY(again->isSliding());
    QVERIFY(again->positionTwips().y() >= screenTwips().bottom() - 100);
}

void TestFrmRing::showingTwiceLeavesOneWindow()
{
    FrmRing *first = freshRing();
    QVERIFY(first->isSliding());
    FrmRing *second = FrmRing::showRing();
    QCOMPARE(second, first);
    QCOMPARE(ringCount(), 1);
    QVERIFY(second->isSliding()); // still sliding, not restarted below the screen

    QTRY_VERIFY_WITH_TIMEOUT(!first->isSliding(), 20000);
    const QPoint rested = first->positionTwips();
    QCOMPARE(FrmRing::showRing(), first);
    QCOMPARE(ringCount(), 1);
    QVERIFY(!first->isSliding());
    QCOMPARE(first->positionTwips(), rested);
}

void TestFrmRing::cleanupTestCase()
{
    closeRings();
}

VARNEL_TEST_CLASS(TestFrmRing);

// Under a real X server: pointer presses and moves by xdotool, and the
// pixels the server shows for the pop-up.
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
    closeRings();
}

VARNEL_TEST_CLASS(TestRingPointer);
#include "tst_frmring.moc"

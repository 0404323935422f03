// Where the windows are drawn and how they move, as the user sees them, on a
// bare X server, under openbox and on a Wayland session (weston with
// XWayland): the test display's screen is looked at and its mouse used.

#include "desktopart.h"
#include "e2eharness.h"
#include "journeydriver.h"
#include "seenscreen.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>

using namespace journey;

Q_DECLARE_METATYPE(Desktop::Kind)

namespace
{

// The reminder pop-up on the desktop's X display.
bool startRing(QProcess &ring, const Desktop &desktop)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), desktop.programDisplay());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    ring.setProcessEnvironment(env);
    ring.start(QStringLiteral(VARNEL_TEST_RING), {});
    return ring.waitForStarted(5000);
}

void addDesktops(std::initializer_list<Desktop::Kind> kinds)
{
    QTest::addColumn<Desktop::Kind>("kind");
    for (const Desktop::Kind kind : kinds) {
        const char *name = kind == Desktop::Kind::BareX11   ? "X11"
                           : kind == Desktop::Kind::Openbox ? "X11 with openbox"
                                                            : "Wayland (weston, XWayland)";
        QTest::newRow(name) << kind;
    }
}

// The masked pixels of a window drawn at `at` (its pure white ones), as far
// as nothing covers them: how many show what lay behind the window, and how
// many there are.
QPair<int, int> seenThrough(const QImage &window, QPoint at, const QImage &behind,
                            const QImage &now, const QList<QRect> &covers)
{
    int through = 0, inView = 0;
    for (int y = 0; y < window.height(); ++y)
        for (int x = 0; x < window.width(); ++x) {
            const QPoint p = at + QPoint(x, y);
            if (window.pixel(x, y) != qRgb(255, 255, 255) || !now.rect().contains(p) ||
                std::any_of(covers.begin(), covers.end(),
                            [p](const QRect &r) { return r.contains(p); }))
                continue;
            ++inView;
            through += seen::sameColour(now.pixel(p), behind.pixel(p)) ? 1 : 0;
        }
    return {through, inView};
}

// Drags a window by the title bar its manager drew, away from `from`.
QRect dragAway(const QString &display, const QString &window, const QRect &from,
               const QRect &screen)
{
    const QRect client = seen::windowRect(display, window);
    const QPoint title(client.center().x(), client.top() - 10);
    const int by = from.center().y() < screen.center().y() ? 320 : -320;
    hand::drag(title, title + QPoint(0, by));
    QTest::qWait(300);
    return seen::frameRect(display, window);
}

} // namespace

class JourneyPopUpPlacement : public QObject
{
    Q_OBJECT
  private slots:
    // The reminder pop-up slides in at the bottom right of the screen the
    // user sees, follows a left drag of its background and closes from the
    // close button in its picture.
    void bottomRightDraggedAndClosed_data()
    {
        addDesktops({Desktop::Kind::BareX11, Desktop::Kind::Openbox, Desktop::Kind::Weston});
    }
    void bottomRightDraggedAndClosed()
    {
        QFETCH(Desktop::Kind, kind);
        Desktop desktop(kind);
        QVERIFY(desktop.ok());
        QProcess ring;
        QVERIFY(startRing(ring, desktop));

        const QImage face = varnel::ringFace(QSize(256, 158)).toImage();
        const QRect screen = desktop.screen();
        const std::optional<QPoint> at = seen::waitFor(face, screen);
        QVERIFY2(at, "the pop-up is not seen on the screen");
        const QRect drawn(*at, face.size());
        QCOMPARE(drawn.right(), screen.right());
        const int gap = screen.bottom() - drawn.bottom(); // 300 to 400 twips
        QVERIFY2(gap >= 20 && gap <= 27, qPrintable(QString::number(gap)));

        const QPoint by(-100, -50);
        hand::drag(*at + QPoint(60, 80), *at + QPoint(60, 80) + by);
        QCOMPARE(seen::waitFor(face, screen), std::optional<QPoint>(*at + by));

        hand::click(*at + by + QPoint(236, 12)); // the close button
        QVERIFY2(ring.state() == QProcess::NotRunning || ring.waitForFinished(10000),
                 "the close button did not close the pop-up");
        QCOMPARE(ring.exitCode(), 0);
    }
};
VARNEL_TEST_CLASS(JourneyPopUpPlacement);

class JourneyPopUpSlide : public QObject
{
    Q_OBJECT
  private slots:
    // The slide-in is seen as it happens, with the pointer kept away from the
    // screen: the top of the pop-up's picture shows at more than one height
    // on the way up, and the picture ends whole at its place.
    void seenRising_data() { addDesktops({Desktop::Kind::BareX11, Desktop::Kind::Weston}); }
    void seenRising()
    {
        QFETCH(Desktop::Kind, kind);
        Desktop desktop(kind);
        QVERIFY(desktop.ok());
        const QRect screen = desktop.screen();
        const QRect all = QGuiApplication::primaryScreen()->geometry();
        // Into the screen, far from where the pop-up comes; not moved again.
        x11::xdotool({QStringLiteral("mousemove"), QString::number(all.right()),
                      QString::number(all.bottom())});
        x11::xdotool({QStringLiteral("mousemove"), QString::number(screen.left() + 100),
                      QString::number(screen.top() + 100)});
        QTest::qWait(300);

        const QImage face = varnel::ringFace(QSize(256, 158)).toImage();
        const QImage top = face.copy(0, 0, face.width(), 12);
        QProcess ring;
        QVERIFY(startRing(ring, desktop));

        QList<int> heights;
        QElapsedTimer watched;
        watched.start();
        std::optional<QPoint> whole;
        while (!whole && watched.elapsed() < 20000) {
            const QImage shot = seen::screen();
            if (const std::optional<QPoint> at = seen::find(shot, top, screen);
                at && !heights.contains(at->y()))
                heights << at->y();
            whole = seen::find(shot, face, screen);
        }
        QVERIFY2(whole, "the pop-up is not seen whole at its place");
        QVERIFY2(heights.size() >= 2, "the pop-up was not seen on its way up");
        QVERIFY(std::is_sorted(heights.rbegin(), heights.rend())); // rising
        ring.kill();
        ring.waitForFinished(5000);
    }
};
VARNEL_TEST_CLASS(JourneyPopUpSlide);

class JourneyWindowDragAndMask : public QObject
{
    Q_OBJECT
  private slots:
    // The main window follows a drag of its title strip; the settings window
    // lets what lies behind show through its white parts while it says that
    // autostart was switched on.
    void titleStripAndSettingsMask_data()
    {
        addDesktops({Desktop::Kind::Openbox, Desktop::Kind::Weston});
    }
    void titleStripAndSettingsMask()
    {
        QFETCH(Desktop::Kind, kind);
        Desktop desktop(kind);
        QVERIFY(desktop.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.setEnvironment(QStringLiteral("DISPLAY"), desktop.programDisplay());
        RunningProgram program(folder);
        x11::UseDisplay programs(desktop.programDisplay());
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());

        const QRect screen = desktop.screen();
        const QImage mainPicture = seen::windowPicture(desktop.programDisplay(), main);
        const std::optional<QPoint> at = seen::waitFor(mainPicture, screen);
        QVERIFY2(at, "the main window is not seen on the screen");
        // Towards the middle of the screen, so that it stays in view.
        const QRect drawn(*at, mainPicture.size());
        const QPoint by(drawn.center().x() < screen.center().x() ? 150 : -150,
                        drawn.center().y() < screen.center().y() ? 80 : -80);
        const QPoint strip = *at + QPoint(250, 10);
        hand::drag(strip, strip + by);
        const std::optional<QPoint> moved = seen::waitFor(mainPicture, screen);
        QVERIFY2(moved, "the main window is not seen after the drag");
        QVERIFY2((*moved - (*at + by)).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("at %1,%2 after the drag, expected %3,%4")
                                .arg(moved->x())
                                .arg(moved->y())
                                .arg(at->x() + by.x())
                                .arg(at->y() + by.y())));

        const QImage behind = seen::screen();
        hand::click(*moved + mainwin::RePw);
        const QString settings = x11::waitForWindow(QStringLiteral("^Varnel设置$"));
        QVERIFY(!settings.isEmpty());
        const QImage settingsPicture = seen::windowPicture(desktop.programDisplay(), settings);
        const std::optional<QPoint> where = seen::waitFor(settingsPicture, screen);
        QVERIFY2(where, "the settings window is not seen on the screen");
        hand::click(*where + settings::autostartBox);
        const QString box = x11::waitForWindow(QStringLiteral("^Varnel软件$"));
        QVERIFY(!box.isEmpty());
        // Out of the way of the settings window: the ticked box aside, its
        // white parts are all transparent now.
        const QList<QRect> covers{
            dragAway(desktop.programDisplay(), box, QRect(*where, settingsPicture.size()), screen),
            QRect(*where + settings::autostartBox - QPoint(15, 15), QSize(30, 30))};
        QPair<int, int> through;
        QElapsedTimer waited;
        waited.start();
        do {
            QTest::qWait(200);
            through = seenThrough(settingsPicture, *where, behind, seen::screen(), covers);
        } while (through.first < through.second * 4 / 5 && waited.elapsed() < 5000);
        QVERIFY2(through.second >= 50, "the message box hides the masked parts");
        QVERIFY2(through.first >= through.second * 4 / 5,
                 qPrintable(QStringLiteral("%1 of %2 masked pixels show what lies behind")
                                .arg(through.first)
                                .arg(through.second)));
        QVERIFY(answerBox(QStringLiteral("Varnel软件")));
    }
};
VARNEL_TEST_CLASS(JourneyWindowDragAndMask);

#include "tst_placementjourney.moc"

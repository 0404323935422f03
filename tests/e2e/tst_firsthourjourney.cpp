// The first hour with the notebook, through the real program: a keyboard
// user (keys through the X server, openbox managing the windows), rare
// characters and the five skins as the screen shows them, and the window on
// small, scaled and very large screens.

#include "e2eharness.h"
#include "journeydriver.h"
#include "testmain.h"

#include <QtTest>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <functional>

using namespace journey;

namespace
{

int notesWhere(const E2eFolder &folder, const QString &where)
{
    return folder.scalar(QStringLiteral("select count(*) from 企业日记 where ") + where).toInt();
}

void keys(const QStringList &chords)
{
    for (const QString &chord : chords)
        x11::key(chord);
}

bool waitUntil(const std::function<bool()> &done, int ms = 20000)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms)
            return false;
        QTest::qWait(100);
    }
    return true;
}

// A logged-in main window with the keyboard in it.
struct KeyboardDesk {
    TrayHost tray;
    WindowManager wm;
    E2eFolder folder;
    std::unique_ptr<RunningProgram> program;
    QString main;

    bool start()
    {
        if (!tray.ok() || !wm.ok() || !folder.ok())
            return false;
        program = std::make_unique<RunningProgram>(folder);
        main = loginWithEmptyPassword();
        if (main.isEmpty())
            return false;
        x11::focus(main);
        return true;
    }
};

double luminance(QRgb c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a text in `area` of a screenshot against what lies around
// its strokes. The ink is the colour that stands out most from the area's
// middle tone; the strokes are the pixels at least a quarter of the way from
// that tone to the ink; what lies behind is the ring two to three pixels
// out from the strokes (clear of their smoothed edges). -1: no text there.
double textContrast(const QImage &shot, const QRect &area)
{
    const QRect r = area.intersected(shot.rect());
    if (r.isEmpty())
        return -1;
    QList<double> tones;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            tones.append(luminance(shot.pixel(x, y)));
    std::nth_element(tones.begin(), tones.begin() + tones.size() / 2, tones.end());
    const double middle = tones.at(tones.size() / 2);
    QRgb ink = 0;
    double inkDistance = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const double d = std::abs(luminance(shot.pixel(x, y)) - middle);
            if (d > inkDistance) {
                inkDistance = d;
                ink = shot.pixel(x, y);
            }
        }
    if (inkDistance < 0.02)
        return -1;
    const double inkTone = luminance(ink);
    auto stroke = [&](int x, int y) {
        return (luminance(shot.pixel(x, y)) - middle) / (inkTone - middle) >= 0.25;
    };
    auto nearStroke = [&](int x, int y, int reach) {
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx)
                if (r.contains(x + dx, y + dy) && stroke(x + dx, y + dy))
                    return true;
        return false;
    };
    double worst = 21;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (nearStroke(x, y, 3) && !nearStroke(x, y, 1))
                worst = std::min(worst, contrast(ink, shot.pixel(x, y)));
    return worst;
}

QString resourcesOf(const QString &display)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-display"), display, QStringLiteral("-root"),
                 QStringLiteral("RESOURCE_MANAGER")});
    xprop.waitForFinished(5000);
    return QString::fromLocal8Bit(xprop.readAll()).trimmed();
}

// A second X server of its own size and desktop scale (Xft.dpi in its
// resources, as the desktop's display settings put it there; the server
// is told not to reset, which would drop them when the test disconnects).
class ScaledScreen
{
  public:
    ScaledScreen(QSize size, int dpi)
    {
        // The server picks a free display itself and names it once it is ready.
        server_.start(
            QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
             QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!server_.waitForStarted(5000) ||
            !waitUntil([&] { return server_.canReadLine(); }, 20000))
            return;
        display_ = QLatin1Char(':') + QString::fromLatin1(server_.readLine().trimmed());
        xcb_connection_t *c = xcb_connect(display_.toLatin1().constData(), nullptr);
        ok_ = !xcb_connection_has_error(c);
        if (!ok_) {
            xcb_disconnect(c);
            return;
        }
        const QByteArray resources = "Xft.dpi:\t" + QByteArray::number(dpi) + "\n";
        xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                            XCB_ATOM_STRING, 8, resources.size(), resources.constData());
        // Read back before letting go, so the server has it before any program starts.
        xcb_get_property_reply_t *reply =
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 0, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                                                    XCB_ATOM_STRING, 0, 256),
                                   nullptr);
        ok_ = reply && QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                                  xcb_get_property_value_length(reply)) == resources;
        std::free(reply);
        xcb_disconnect(c);
    }
    ~ScaledScreen()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    bool ok() const { return ok_; }
    QString display() const { return display_; }

  private:
    QProcess server_;
    QString display_;
    bool ok_ = false;
};

// The main window on the display in use, whatever its scale: the window
// titled like the program whose shape is the main window's.
QString waitForScaledMain()
{
    QString found;
    waitUntil([&] {
        for (const QString &w : x11::windows(kTitle)) {
            const QSize s = x11::geometry(w).size();
            if (s.width() >= 455 && std::abs(s.width() * 418 - s.height() * 455) < 2 * 455 * 2)
                found = w;
        }
        return !found.isEmpty();
    });
    return found;
}

} // namespace

class JourneyKeyboardOnly : public QObject
{
    Q_OBJECT
  private slots:
    // Search box, tree and list by Tab; the arrow keys open the notes they
    // reach; Enter goes to the title; Tab leaves the body and Ctrl+Tab types
    // a tab; Ctrl+S changes the note; Delete removes the highlighted note
    // after asking; Esc hides the window.
    void selectOpenEditDeleteHide()
    {
        KeyboardDesk desk;
        for (const char *title : {"first", "second", "third"})
            desk.folder.exec(
                QStringLiteral("insert into 企业日记 (标题, 内容) values (?1, 'body')"),
                {QString::fromLatin1(title)});
        QVERIFY(desk.start());

        // The list shows third, second, first. Home opens the top row, Down the next.
        keys({"ctrl+f", "Tab", "Tab", "Home", "Down", "Return"});
        keys({"End"});
        x11::typeText(QStringLiteral(" edited"));
        keys({"Tab", "ctrl+End", "Tab", "shift+Tab", "ctrl+End", "ctrl+Tab"});
        x11::typeText(QStringLiteral("end"));
        keys({"ctrl+s"});
        QTRY_COMPARE_WITH_TIMEOUT(
            notesWhere(desk.folder, QStringLiteral("标题='second edited' and 内容=?1")
                                   .replace(QStringLiteral("?1"), QStringLiteral("'body\tend'"))),
            1, 20000);

        // The list highlights the changed note again; Down moves on to "first".
        keys({"ctrl+f", "Tab", "Tab", "Down", "Delete"});
        QVERIFY2(answerBox(QStringLiteral("提示"), QStringLiteral("y")),
                 "no question before deleting");
        QTRY_COMPARE_WITH_TIMEOUT(notesWhere(desk.folder, QStringLiteral("标题='first'")), 0, 20000);
        QCOMPARE(notesWhere(desk.folder, QStringLiteral("1=1")), 2);

        x11::focus(desk.main);
        keys({"Escape"});
        QVERIFY2(mainIsGone(), "Esc did not hide the main window");
        QVERIFY(desk.program->isRunning());
    }

    // The arrow keys in the tree choose the category new notes go to, as a
    // click does; "所有信息" highlights the root and files into no category,
    // and so does the root reached by the keyboard.
    void treeFollowsTheKeyboard()
    {
        KeyboardDesk desk;
        desk.folder.exec(QStringLiteral("insert into 分类 (id, bh, mc) values (1, 0, '工作')"));
        desk.folder.exec(QStringLiteral("insert into 分类 (id, bh, mc) values (2, 0, '读书笔记')"));
        QVERIFY(desk.start());
        auto saveNew = [](const QString &title) {
            keys({"ctrl+n"});
            x11::typeText(title);
            keys({"ctrl+s"});
        };
        const struct {
            QStringList moves;
            const char *title;
            int category;
        } steps[] = {
            {{"ctrl+f", "Tab", "Down"}, "T1", 1},         // root, then 工作
            {{"ctrl+f", "shift+Tab", "space"}, "T2", 0},  // 所有信息
            {{"ctrl+f", "Tab", "Down", "Down"}, "T3", 2}, // from the root: 工作, 读书笔记
            {{"ctrl+f", "Tab", "Up", "Up"}, "T4", 0},     // back up to the root
        };
        for (const auto &step : steps) {
            keys(step.moves);
            saveNew(QString::fromLatin1(step.title));
            QTRY_COMPARE_WITH_TIMEOUT(
                desk.folder
                    .scalar(QStringLiteral("select 分类 from 企业日记 where 标题=?1"),
                            {QString::fromLatin1(step.title)})
                    .toString(),
                QString::number(step.category), 20000);
        }
    }
};
VARNEL_TEST_CLASS(JourneyKeyboardOnly);

class JourneyReadableScreen : public QObject
{
    Q_OBJECT
  private slots:
    // Ideographs beyond the common set and emoji are drawn, not shown as the
    // box a font draws for a character it lacks (the last row holds one).
    void rareCharactersAreDrawn()
    {
        TrayHost tray;
        E2eFolder folder;
        QVERIFY(folder.ok());
        const QStringList titles{QStringLiteral("𠮷"), QStringLiteral("𪚥"),
                                 QStringLiteral("㐀"), QStringLiteral("🎁"),
                                 QStringLiteral("🚀"),  QString(QChar(0x0378))};
        for (const QString &title : titles)
            folder.exec(QStringLiteral("insert into 企业日记 (标题, 内容) values (?1, '')"),
                        {title});
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        QList<Mark> rows;
        QVERIFY(waitUntil([&] { return (rows = listMarks(main)).size() == titles.size(); }));
        const QImage shot = x11::grab(main);
        auto cell = [&](int row) { // the title's first characters, newest note first
            return shot.copy(QRect(182, rows.at(row).y - 8, 36, 16));
        };
        const QImage missing = cell(0);
        for (int row = 1; row < titles.size(); ++row) {
            const QString title = titles.at(titles.size() - 1 - row);
            const QImage drawn = cell(row);
            int differ = 0, coloured = 0;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x) {
                    const QColor c(drawn.pixel(x, y));
                    differ += drawn.pixel(x, y) != missing.pixel(x, y);
                    coloured += c.hsvSaturation() > 80 && c.value() > 60;
                }
            QVERIFY2(differ > 20,
                     qPrintable(title + QStringLiteral(" is drawn as the missing box")));
            if (title.toUcs4().first() >= 0x1F300 && title.toUcs4().first() <= 0x1FAFF)
                QVERIFY2(coloured > 10, qPrintable(title + QStringLiteral(" is not in colour")));
        }
    }

    // Every label of the main window stands 4.5:1 or more against what lies
    // around its strokes, on each of the five skins.
    void everySkinReads_data()
    {
        QTest::addColumn<int>("skin");
        const char *names[] = {"黄金现代", "海蓝天空", "蓝色商务", "太空Varnel", "绿色迷彩"};
        for (int skin = 1; skin <= 5; ++skin)
            QTest::newRow(names[skin - 1]) << skin;
    }
    void everySkinReads()
    {
        QFETCH(int, skin);
        TrayHost tray;
        ScreenReader reader;
        QVERIFY2(reader.ok(), "no session bus for reading the screen");
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.exec(QStringLiteral("update 系统用户表 set skin=?1"), {skin});
        folder.exec(QStringLiteral("insert into 企业日记 (标题, 内容) values ('a note', '')"));
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        const QRect window = x11::geometry(main);
        QList<ScreenReader::PlacedLabel> labels;
        QVERIFY(waitUntil([&] {
            labels = reader.placedLabels(program.pid());
            return std::count_if(labels.begin(), labels.end(),
                                 [](const auto &l) { return !l.text.isEmpty(); }) >= 7;
        }));
        const QImage shot = x11::grab(main);
        const QString shots = qEnvironmentVariable("VARNEL_TEST_SHOTS");
        if (!shots.isEmpty())
            shot.save(QStringLiteral("%1/skin%2.png").arg(shots).arg(skin));
        QList<QRect> controls;
        for (const auto &placed : labels)
            if (placed.text.isEmpty())
                controls << placed.rect.translated(-window.topLeft());
        QStringList figures, faults;
        for (const auto &label : labels) {
            if (label.text.isEmpty())
                continue;
            // The rows of the label that no other control covers.
            QRect area = label.rect.translated(-window.topLeft());
            for (const QRect &control : controls) {
                if (!control.intersects(area) || control.contains(area))
                    continue;
                if (control.top() <= area.top())
                    area.setTop(control.bottom() + 1);
                else if (control.bottom() >= area.bottom())
                    area.setBottom(control.top() - 1);
            }
            if (!shot.rect().contains(area.center()))
                continue; // outside the window (the hidden hint bubble)
            const double measured = textContrast(shot, area);
            if (measured < 0)
                continue;
            const QString figure =
                QStringLiteral("%1 %2:1").arg(label.text.left(12)).arg(measured, 0, 'f', 1);
            figures << figure;
            if (measured < 4.5)
                faults << figure;
        }
        qInfo("%s", qPrintable(figures.join(QStringLiteral("; "))));
        QVERIFY2(figures.size() >= 7, qPrintable(figures.join(QStringLiteral("; "))));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }
};
VARNEL_TEST_CLASS(JourneyReadableScreen);

class JourneyWindowFits : public QObject
{
    Q_OBJECT
  private slots:
    // Under openbox the main window lies whole on the screen it opens on,
    // centred, at the desktop's scale where that fits and smaller where it
    // does not, and follows a drag of its title strip.
    void fitsTheScreenAtItsScale_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<double>("scale"); // expected; 0: as large as fits
        QTest::newRow("1280x1024, scale 1") << QSize(1280, 1024) << 96 << 1.0;
        QTest::newRow("1024x768, scale 2") << QSize(1024, 768) << 192 << 0.0;
        QTest::newRow("3840x2160, scale 2") << QSize(3840, 2160) << 192 << 2.0;
    }
    void fitsTheScreenAtItsScale()
    {
        QFETCH(QSize, screen);
        QFETCH(int, dpi);
        QFETCH(double, scale);
        ScaledScreen xs(screen, dpi);
        QVERIFY(xs.ok());
        x11::UseDisplay use(xs.display());
        WindowManager wm;
        QVERIFY(wm.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        folder.setEnvironment(QStringLiteral("DISPLAY"), xs.display());
        RunningProgram program(folder);
        const QString login = waitForLogin();
        QVERIFY(!login.isEmpty());
        x11::focus(login);
        x11::key(QStringLiteral("Return"));
        const QString main = waitForScaledMain();
        QVERIFY(!main.isEmpty());
        QTest::qWait(500);
        const QRect at = x11::geometry(main);
        const QRect whole(QPoint(0, 0), screen);
        QVERIFY2(whole.contains(at), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                    .arg(at.x())
                                                    .arg(at.y())
                                                    .arg(at.width())
                                                    .arg(at.height())));
        if (scale > 0)
            QVERIFY2(at.width() == int(std::lround(455 * scale)),
                     qPrintable(QStringLiteral("%1 wide on %2 (%3)")
                                    .arg(at.width())
                                    .arg(xs.display(), resourcesOf(xs.display()))));
        else
            QVERIFY2(at.height() >= screen.height() * 3 / 4,
                     qPrintable(QStringLiteral("%1x%2 is smaller than it has to be (%3)")
                                    .arg(at.width())
                                    .arg(at.height())
                                    .arg(resourcesOf(xs.display()))));
        QVERIFY(std::abs(at.center().x() - whole.center().x()) <= 20);

        const QPoint strip = at.topLeft() + QPoint(at.width() / 2, at.height() / 80);
        x11::xdotool(
            {QStringLiteral("mousemove"), QString::number(strip.x()), QString::number(strip.y())});
        x11::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
        for (int step = 1; step <= 10; ++step) {
            x11::xdotool({QStringLiteral("mousemove"), QString::number(strip.x() - 4 * step),
                          QString::number(strip.y() + 2 * step)});
            QTest::qWait(30);
        }
        x11::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        QVERIFY2(waitUntil([&] { return x11::geometry(main).topLeft() != at.topLeft(); }, 5000),
                 "the window did not follow the drag");
    }

    // After a drag, hiding (Esc) and Ctrl+1 bring the window back where the
    // user left it; one dragged half off the screen comes back whole on it.
    void comesBackWhereLeft()
    {
        TrayHost tray;
        WindowManager wm;
        QVERIFY(wm.ok());
        E2eFolder folder;
        QVERIFY(folder.ok());
        RunningProgram program(folder);
        const QString main = loginWithEmptyPassword();
        QVERIFY(!main.isEmpty());
        const QRect first = x11::geometry(main);
        const QRect screen(0, 0, 1280, 1024);
        QVERIFY(std::abs(first.center().x() - screen.center().x()) <= 20);
        const struct {
            QPoint by;
            bool whole; // the place it is dragged to is on the screen
        } drags[] = {{{-300, -200}, true}, {{900, 0}, false}};
        QPoint from = first.topLeft();
        for (const auto &drag : drags) {
            const QPoint strip = from + QPoint(200, 10);
            x11::xdotool({QStringLiteral("mousemove"), QString::number(strip.x()),
                          QString::number(strip.y())});
            x11::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
            for (int step = 1; step <= 10; ++step) {
                x11::xdotool({QStringLiteral("mousemove"),
                              QString::number(strip.x() + drag.by.x() * step / 10),
                              QString::number(strip.y() + drag.by.y() * step / 10)});
                QTest::qWait(30);
            }
            x11::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
            QTest::qWait(500);
            const QPoint left = x11::geometry(main).topLeft();
            x11::focus(main);
            x11::key(QStringLiteral("Escape"));
            QVERIFY(mainIsGone());
            x11::key(QStringLiteral("ctrl+1"));
            const QString again = waitForMain();
            QVERIFY(!again.isEmpty());
            QTest::qWait(300);
            const QRect back = x11::geometry(again);
            QVERIFY(screen.contains(back));
            if (drag.whole)
                QCOMPARE(back.topLeft(), left);
            else
                QCOMPARE(back.right(), screen.right());
            from = back.topLeft();
        }
    }
};
VARNEL_TEST_CLASS(JourneyWindowFits);

#include "tst_firsthourjourney.moc"

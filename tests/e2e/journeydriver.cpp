#include "journeydriver.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace journey
{

namespace
{

enum class Hue { None, Red, Blue };

Hue hueOf(QRgb pixel)
{
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    // The list's circles; the lighter selection blue is neither.
    if (r > 170 && g < 80 && b < 80)
        return Hue::Red;
    if (b > 180 && r < 50 && g < 105)
        return Hue::Blue;
    return Hue::None;
}

// Runs of rows in `area` holding pixels of one hue, as (hue, centre y).
QList<QPair<Hue, int>> colouredRuns(const QImage &image, const QRect &area)
{
    QList<QPair<Hue, int>> runs;
    Hue current = Hue::None;
    int start = 0;
    for (int y = area.top(); y <= area.bottom() + 1; ++y) {
        Hue rowHue = Hue::None;
        for (int x = area.left(); y <= area.bottom() && x <= area.right(); ++x) {
            const Hue h = hueOf(image.pixel(x, y));
            if (h != Hue::None) {
                rowHue = h;
                break;
            }
        }
        if (rowHue != current) {
            if (current != Hue::None && y - start >= 4)
                runs.append({current, (start + y - 1) / 2});
            current = rowHue;
            start = y;
        }
    }
    return runs;
}

} // namespace

QString waitForLogin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        for (const QString &w : x11::windows(kTitle)) {
            const QSize size = x11::geometry(w).size();
            if (size != kMainSize && size.width() > 200)
                return w;
        }
        QTest::qWait(100);
    } while (timer.elapsed() < ms);
    return QString();
}

QString waitForMain(int ms)
{
    return x11::waitForWindow(kTitle, kMainSize, ms);
}

bool quitFromTray(RunningProgram &program)
{
    const QString panel = x11::waitForWindow(QStringLiteral("^panel$"));
    if (panel.isEmpty())
        return false;
    QElapsedTimer timer;
    timer.start();
    while (x11::xdotool(
               {QStringLiteral("search"), QStringLiteral("--class"), QStringLiteral("Varnelpad")})
               .isEmpty()) {
        if (timer.elapsed() > 20000)
            return false;
        QTest::qWait(100);
    }
    QTest::qWait(1000); // the panel lays out its new icon
    const QRect area = x11::geometry(panel);
    x11::click(panel, QPoint(area.width() / 2, area.height() / 2), 3);
    QTest::qWait(500);
    x11::key(QStringLiteral("Down"));
    x11::key(QStringLiteral("Return"));
    return program.waitForExit(20000);
}

QString loginWithEmptyPassword()
{
    const QString login = waitForLogin();
    if (login.isEmpty())
        return QString();
    x11::focus(login);
    x11::key(QStringLiteral("Return"));
    return waitForMain();
}

bool mainIsGone(int ms)
{
    return x11::waitForNoWindow(kTitle, kMainSize, ms);
}

bool answerBox(const QString &title, const QString &key, int ms)
{
    const QString box = x11::waitForWindow(QLatin1Char('^') + title + QLatin1Char('$'), {}, ms);
    if (box.isEmpty())
        return false;
    x11::focus(box);
    x11::key(key);
    // This box going, not every box of the title: the next one (the word
    // that follows the answer) may show before a look at the screen.
    const QString pattern = QLatin1Char('^') + title + QLatin1Char('$');
    return QTest::qWaitFor([&]() { return !x11::windows(pattern).contains(box); }, ms);
}

void typeInto(const QString &window, QPoint at, const QString &text)
{
    x11::click(window, at);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            x11::key(QStringLiteral("Return"));
        x11::typeText(lines.at(i));
    }
}

void installOpener(const E2eFolder &folder)
{
    QDir(folder.path()).mkpath(QStringLiteral("bin"));
    const QString script = folder.path() + QStringLiteral("/bin/xdg-open");
    QFile file(script);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/opened.txt\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QList<Mark> listMarks(const QString &mainWindow)
{
    QList<Mark> marks;
    const QImage image = x11::grab(mainWindow);
    for (const auto &run : colouredRuns(image, mainwin::ListIcons))
        marks.append({run.first == Hue::Red ? 'R' : 'B', run.second});
    return marks;
}

bool waitForNotices(const QString &mainWindow, int ms)
{
    const QImage first = x11::grab(mainWindow).copy(mainwin::lab_key);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QTest::qWait(250);
        const QImage now = x11::grab(mainWindow).copy(mainwin::lab_key);
        if (!now.isNull() && !first.isNull() && now != first)
            return true;
    }
    return false;
}

bool updateBoxShown(const QString &mainWindow)
{
    // The box's own background, on the margin left of its text box.
    const QImage image = x11::grab(mainWindow);
    const QRect margin(mainwin::UpdateBox.left() + 3, mainwin::Text7.top() + 5, 5, 200);
    int matching = 0;
    for (int y = margin.top(); y <= margin.bottom(); ++y) {
        for (int x = margin.left(); x <= margin.right(); ++x) {
            if (image.valid(x, y) && (image.pixel(x, y) & 0xFFFFFF) == 0xFFFFE1)
                ++matching;
        }
    }
    return matching > margin.width() * margin.height() * 9 / 10;
}

int textPixels(const QString &window, const QRect &area)
{
    const QImage image = x11::grab(window);
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.valid(x, y) ? image.pixel(x, y) : qRgb(255, 255, 255);
            if (qRed(p) < 100 && qGreen(p) < 100 && qBlue(p) < 100)
                ++dark;
        }
    }
    return dark;
}

BoxIcon boxIcon(const QString &box)
{
    const QImage image = x11::grab(box);
    int red = 0, yellow = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 180 && qGreen(p) < 80 && qBlue(p) < 80)
                ++red;
            else if (qRed(p) > 200 && qGreen(p) > 180 && qBlue(p) < 100)
                ++yellow;
        }
    }
    if (red > 30 && red > yellow)
        return BoxIcon::Critical;
    return yellow > 30 ? BoxIcon::Warning : BoxIcon::None;
}

QList<int> categoryRows(const QString &mainWindow)
{
    QList<int> rows;
    const QImage image = x11::grab(mainWindow);
    for (const auto &run : colouredRuns(image, mainwin::TreeArea)) {
        if (run.first == Hue::Red)
            rows.append(run.second);
    }
    return rows;
}

} // namespace journey

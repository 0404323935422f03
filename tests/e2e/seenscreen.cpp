#include "seenscreen.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace
{

// The test's own X server, whatever x11::UseDisplay points at later.
const QByteArray kTestDisplay = qgetenv("DISPLAY");

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T *r)
{
    return Reply<T>(r, &std::free);
}

struct Connection {
    explicit Connection(const QString &display) : c(xcb_connect(qPrintable(display), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    bool ok() const { return !xcb_connection_has_error(c); }
    xcb_connection_t *c;
};

// Pixels of the picture to try first at every place: a 5 x 5 grid.
QList<QPoint> probes(const QImage &picture)
{
    QList<QPoint> points;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            points.append(QPoint(i * (picture.width() - 1) / 4, j * (picture.height() - 1) / 4));
    return points;
}

// Pixels of the picture that differ at `at` in the shot, counted up to `limit`.
int misses(const QImage &shot, const QImage &picture, QPoint at, int limit)
{
    int missed = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *want = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *have = reinterpret_cast<const QRgb *>(shot.constScanLine(at.y() + y)) + at.x();
        for (int x = 0; x < picture.width(); ++x)
            if (!seen::sameColour(want[x], have[x]) && ++missed > limit)
                return missed;
    }
    return missed;
}

void xdotool(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(kTestDisplay));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    QTest::qWait(60);
}

void moveTo(QPoint at)
{
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
}

// Into the screen from outside. weston follows the test display's pointer
// by its moves and takes its place afresh only when it comes in.
void enterAt(QPoint at)
{
    const QRect all = QGuiApplication::primaryScreen()->geometry();
    moveTo(all.bottomRight());
    moveTo(at);
    QTest::qWait(100);
}

} // namespace

Desktop::Desktop(Kind kind)
{
    switch (kind) {
    case Kind::BareX11:
        ok_ = true;
        break;
    case Kind::Openbox:
        wm_ = std::make_unique<WindowManager>();
        ok_ = wm_->ok();
        break;
    case Kind::Weston:
        session_ = std::make_unique<WaylandSession>();
        ok_ = session_->ok();
        break;
    }
}

Desktop::~Desktop() = default;

QString Desktop::programDisplay() const
{
    return session_ ? session_->display() : QString::fromLocal8Bit(kTestDisplay);
}

QRect Desktop::screen() const
{
    return session_ ? WaylandSession::output() : QGuiApplication::primaryScreen()->geometry();
}

namespace seen
{

QImage screen()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

QImage windowPicture(const QString &display, const QString &window)
{
    Connection x(display);
    const xcb_window_t id = window.toUInt();
    const auto geometry = reply(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, id), nullptr));
    if (!x.ok() || !geometry)
        return QImage();
    const auto image =
        reply(xcb_get_image_reply(x.c,
                                  xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0,
                                                geometry->width, geometry->height, ~0u),
                                  nullptr));
    if (!image || xcb_get_image_data_length(image.get()) < geometry->width * geometry->height * 4)
        return QImage();
    return QImage(xcb_get_image_data(image.get()), geometry->width, geometry->height,
                  QImage::Format_RGB32)
        .copy();
}

QRect windowRect(const QString &display, const QString &window)
{
    Connection x(display);
    const xcb_window_t id = window.toUInt();
    const auto g = reply(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, id), nullptr));
    if (!g)
        return QRect();
    const auto at = reply(xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, id, g->root, 0, 0), nullptr));
    return at ? QRect(at->dst_x, at->dst_y, g->width, g->height) : QRect();
}

QRect frameRect(const QString &display, const QString &window)
{
    Connection x(display);
    xcb_window_t id = window.toUInt();
    for (;;) {
        const auto tree = reply(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, id), nullptr));
        if (!tree || tree->parent == tree->root)
            break;
        id = tree->parent;
    }
    const auto g = reply(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, id), nullptr));
    return g ? QRect(g->x, g->y, g->width, g->height) : QRect();
}

bool sameColour(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 8 && qAbs(qGreen(a) - qGreen(b)) <= 8 &&
           qAbs(qBlue(a) - qBlue(b)) <= 8;
}

std::optional<QPoint> find(const QImage &shot, const QImage &picture, const QRect &area)
{
    if (picture.isNull())
        return std::nullopt;
    const QList<QPoint> points = probes(picture);
    const int allowed = picture.width() * picture.height() / 50;
    std::optional<QPoint> best;
    int fewest = allowed + 1;
    const QRect inShot = area & shot.rect();
    for (int y = inShot.top(); y + picture.height() <= inShot.bottom() + 1; ++y) {
        for (int x = inShot.left(); x + picture.width() <= inShot.right() + 1; ++x) {
            int probeMisses = 0;
            for (const QPoint &p : points)
                if (!sameColour(picture.pixel(p), shot.pixel(x + p.x(), y + p.y())) &&
                    ++probeMisses > 2)
                    break;
            if (probeMisses > 2)
                continue;
            const int missed = misses(shot, picture, QPoint(x, y), fewest - 1);
            if (missed < fewest) {
                fewest = missed;
                best = QPoint(x, y);
            }
        }
    }
    return best;
}

std::optional<QPoint> waitFor(const QImage &picture, const QRect &area, int ms)
{
    QElapsedTimer timer;
    timer.start();
    std::optional<QPoint> last;
    do {
        const std::optional<QPoint> now = find(screen(), picture, area);
        if (now && now == last)
            return now;
        last = now;
        QTest::qWait(150);
    } while (timer.elapsed() < ms);
    return std::nullopt;
}

} // namespace seen

namespace hand
{

void drag(QPoint from, QPoint to)
{
    enterAt(from);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    // In steps, as a hand moves.
    for (int step = 1; step <= 4; ++step)
        moveTo(from + (to - from) * step / 4);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    QTest::qWait(100);
}

void click(QPoint at)
{
    enterAt(at);
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(100);
}

} // namespace hand

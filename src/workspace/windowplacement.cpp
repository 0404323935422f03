#include "windowplacement.h"

#include "screenfit.h"

#include <QCursor>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void WindowPlacement::place(QWidget *window)
{
    if (varnel::compositorPlacesWindows())
        return;
    const QSize size = window->frameGeometry().size();
    if (last_) {
        if (QScreen *screen = screenFor(*last_)) {
            window->move(keptInside(*last_, size, screen->availableGeometry()));
            return;
        }
    }
    QScreen *screen = screenFor(QCursor::pos());
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QPoint centred = area.center() - QPoint(size.width() / 2, size.height() / 2);
    window->move(keptInside(centred, size, area));
}

void WindowPlacement::remember(const QWidget *window)
{
    if (window->isVisible() && !window->isMinimized())
        last_ = window->frameGeometry().topLeft();
}

QPoint WindowPlacement::keptInside(QPoint wanted, QSize size, const QRect &area)
{
    const int x = std::max(area.left(), std::min(wanted.x(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(wanted.y(), area.bottom() + 1 - size.height()));
    return {x, y};
}

// The screen holding the point, else the one nearest to it.
QScreen *WindowPlacement::screenFor(QPoint at)
{
    if (QScreen *screen = QGuiApplication::screenAt(at))
        return screen;
    QScreen *nearest = QGuiApplication::primaryScreen();
    int best = -1;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const QPoint inside(std::clamp(at.x(), g.left(), g.right()),
                            std::clamp(at.y(), g.top(), g.bottom()));
        const int distance = (inside - at).manhattanLength();
        if (best < 0 || distance < best) {
            best = distance;
            nearest = screen;
        }
    }
    return nearest;
}

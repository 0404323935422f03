#include "smallimages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{
QPixmap canvas()
{
    QPixmap pixmap(SmallImages::size());
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A grey hourglass: waiting for the server.
QIcon connecting()
{
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(190, 190, 190));
    p.drawPolygon(QPolygonF{{0.5, 1}, {7.5, 1}, {4, 6}});
    p.drawPolygon(QPolygonF{{4, 6}, {7.5, 11}, {0.5, 11}});
    return QIcon(pixmap);
}

// A green tick: saved.
QIcon finished()
{
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 150, 40), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(1, 6.5);
    tick.lineTo(3.2, 9);
    tick.lineTo(7, 3);
    p.drawPath(tick);
    return QIcon(pixmap);
}

// A blue arrow pointing down: data arriving.
QIcon downloading()
{
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 100, 220));
    p.drawRect(QRectF(2.5, 1, 3, 5));
    p.drawPolygon(QPolygonF{{0, 6}, {8, 6}, {4, 11}});
    return QIcon(pixmap);
}

// A red cross: failed.
QIcon failed()
{
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(210, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(1.5, 3), QPointF(6.5, 9));
    p.drawLine(QPointF(6.5, 3), QPointF(1.5, 9));
    return QIcon(pixmap);
}
} // namespace

SmallImages::SmallImages() : icons_{connecting(), finished(), downloading(), failed()} {}

QIcon SmallImages::icon(int number) const
{
    if (number < Connecting || number > Failed)
        return {};
    return icons_[number - 1];
}

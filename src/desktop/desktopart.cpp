#include "desktopart.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace varnel
{

namespace
{

const QColor kBlueDark(0x1f, 0x4e, 0x9c);
const QColor kBlueLight(0x5b, 0x8f, 0xe0);
const QColor kRed(0xd9, 0x34, 0x2b);

void drawNotebook(QPainter &p)
{
    // Cover with a spine on the left, a white page with ruled lines.
    p.setPen(Qt::NoPen);
    p.setBrush(kBlueDark);
    p.drawRoundedRect(QRectF(3, 1, 18, 22), 2.5, 2.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 4, 11, 16));
    p.setPen(QPen(kBlueLight, 1));
    for (int y = 8; y <= 16; y += 3)
        p.drawLine(QPointF(10, y + 0.5), QPointF(17, y + 0.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int y = 4; y <= 18; y += 4)
        p.drawEllipse(QRectF(4, y, 2.5, 2.5));
}

void drawCloseButton(QPainter &p, const QRectF &box)
{
    p.setPen(QPen(kRed.darker(130), 1));
    p.setBrush(kRed);
    p.drawRoundedRect(box, 3, 3);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    const QRectF cross = box.adjusted(6, 6, -6, -6);
    p.drawLine(cross.topLeft(), cross.bottomRight());
    p.drawLine(cross.topRight(), cross.bottomLeft());
}

} // namespace

QPixmap programIcon(int size)
{
    QPixmap icon(size, size);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    drawNotebook(p);
    return icon;
}

QPixmap ringFace(QSize size)
{
    const int strip = 25;
    QPixmap face(size);
    face.fill(Qt::white);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient title(0, 0, 0, strip);
    title.setColorAt(0, kBlueLight);
    title.setColorAt(1, kBlueDark);
    p.fillRect(QRect(0, 0, size.width(), strip), title);

    // The empty message area and the outer frame.
    p.setPen(QPen(QColor(0xc8, 0xd4, 0xe8), 1));
    p.setBrush(QColor(0xf7, 0xf9, 0xfd));
    p.drawRect(QRectF(8.5, strip + 8.5, size.width() - 17, size.height() - strip - 17));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kBlueDark, 1));
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));

    drawCloseButton(p, QRectF(size.width() - 28.5, 3.5, 19, 19));
    return face;
}

} // namespace varnel

#include "gpublic.h"

#include "store/database.h"

#include <QBitmap>
#include <QImage>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QWidget>
#include <QWindow>

namespace varnel
{

void DragForm(QWidget *window)
{
    if (!window)
        return;
    QWidget *top = window->window();
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    if (QWindow *handle = top->windowHandle())
        handle->startSystemMove();
}

QPixmap formBackground()
{
    static const QPixmap picture = [] {
        QPixmap p(460, 404);
        QPainter painter(&p);
        QLinearGradient gradient(0, 0, 0, p.height());
        gradient.setColorAt(0, Qt::white);
        gradient.setColorAt(1, QColor(0xAD, 0xD8, 0xE6)); // light blue
        painter.fillRect(p.rect(), gradient);
        return p;
    }();
    return picture;
}

void showDbError(QWidget *parent, const DbError &error)
{
    QMessageBox::critical(parent, QStringLiteral("Varnel提示"), error.userText());
}

QRegion nonWhiteRegion(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    // Marking the white pixels "in" the colour mask leaves them as the
    // bitmap's background, so the region is made of all the other pixels.
    const QImage mask = rgb.createMaskFromColor(qRgb(255, 255, 255), Qt::MaskInColor);
    return QRegion(QBitmap::fromImage(mask));
}

void prepareWhiteMask(QWidget *window)
{
    if (window)
        window->setAttribute(Qt::WA_TranslucentBackground);
}

void maskWhitePixels(QWidget *window)
{
    if (!window)
        return;
    QImage picture = window->grab().toImage();
    if (picture.size() != window->size()) // a high-density screen: back to widget pixels
        picture = picture.scaled(window->size());
    window->setMask(nonWhiteRegion(picture));
}

} // namespace varnel

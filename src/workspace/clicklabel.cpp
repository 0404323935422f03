#include "clicklabel.h"

#include <QMouseEvent>

ClickLabel::ClickLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setMouseTracking(true);
}

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit pressed(event->button());
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit hovered();
}

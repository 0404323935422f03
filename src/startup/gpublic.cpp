#include "gpublic.h"

#include <QWidget>
#include <QWindow>

namespace varnel {

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

} // namespace varnel

#include "listwatcher.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTreeView>

namespace
{
bool isNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

bool isScrollBarInput(QEvent::Type type)
{
    return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
           type == QEvent::MouseMove || type == QEvent::Wheel;
}
} // namespace

ListWatcher::ListWatcher(QObject *parent) : QObject(parent) {}

void ListWatcher::setTargetWindow(QAbstractItemView *list)
{
    if (list == list_)
        return;
    list_ = list;
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    for (QScrollBar *bar : {list->horizontalScrollBar(), list->verticalScrollBar()}) {
        bar->installEventFilter(this);
        // Scrolling that comes from elsewhere (a key, a program) moves cells too.
        connect(bar, &QScrollBar::valueChanged, this, &ListWatcher::report);
    }
    if (auto *tree = qobject_cast<QTreeView *>(list)) {
        headerViewport_ = tree->header()->viewport();
        headerViewport_->installEventFilter(this);
        connect(tree->header(), &QHeaderView::sectionResized, this, &ListWatcher::report);
    }
}

bool ListWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (list_) {
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress && isNavigationKey(static_cast<QKeyEvent *>(event)->key()))
            report();
        else if (type == QEvent::Wheel && (watched == list_ || watched == list_->viewport()))
            report();
        else if (qobject_cast<QScrollBar *>(watched) && isScrollBarInput(type))
            report();
        else if (watched == headerViewport_ &&
                 (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease))
            report();
    }
    return false; // the list handles everything itself
}

// Runs after the event being filtered has been handled in full.
void ListWatcher::report()
{
    if (pending_)
        return;
    pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this]() {
            pending_ = false;
            emit ListChanged();
        },
        Qt::QueuedConnection);
}

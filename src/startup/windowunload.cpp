#include "windowunload.h"

#include <QDialog>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <QWidget>

namespace varnel
{

namespace
{

const char *const kHomeLoop = "varnelHomeLoop";
const char *const kHandlers = "varnelHandlers";
const char *const kUnloading = "varnelUnloading";
constexpr int kRetryMs = 40;

int loopLevel()
{
    return QThread::currentThread()->loopLevel();
}

void cancelDialogs(QWidget *window)
{
    for (QDialog *dialog : window->findChildren<QDialog *>()) {
        if (dialog->isVisible())
            dialog->reject();
    }
}

bool idle(const QWidget *window)
{
    const QVariant home = window->property(kHomeLoop);
    return window->property(kHandlers).toInt() == 0 &&
           loopLevel() <= (home.isValid() ? home.toInt() : loopLevel());
}

} // namespace

void noteHomeLoop(QWidget *window)
{
    window->setProperty(kHomeLoop, loopLevel());
}

bool isUnloading(const QWidget *window)
{
    return window && window->property(kUnloading).toBool();
}

void unloadWhenIdle(QWidget *window)
{
    if (!window)
        return;
    window->hide();
    if (isUnloading(window))
        return;
    window->setProperty(kUnloading, true);
    // Checked from a timer, so that the deletion is asked for from an event
    // of the loop that runs at that moment: Qt then carries it out only once
    // control is back in that loop, with nothing of the window on the stack.
    auto *check = new QTimer(window);
    check->setInterval(kRetryMs);
    QObject::connect(check, &QTimer::timeout, window, [window, check] {
        cancelDialogs(window);
        if (!idle(window))
            return;
        check->stop();
        window->deleteLater();
    });
    cancelDialogs(window);
    check->start();
}

HandlerScope::HandlerScope(QObject *window) : window_(window)
{
    if (window_)
        window_->setProperty(kHandlers, window_->property(kHandlers).toInt() + 1);
}

HandlerScope::~HandlerScope()
{
    if (window_)
        window_->setProperty(kHandlers, window_->property(kHandlers).toInt() - 1);
}

} // namespace varnel

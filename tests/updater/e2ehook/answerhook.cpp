// Preloaded (LD_PRELOAD) into the updater program by its end-to-end test:
// presses the window's start button once and answers every message box with
// its first button, logging what each box said (boxlogline.h).

#include "boxlogline.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace
{

void pressStartOnce()
{
    static bool pressed = false;
    if (pressed)
        return;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() != QLatin1String("frmMain") || !window->isVisible())
            continue;
        auto *start = window->findChild<QPushButton *>(QStringLiteral("cmdDownload"));
        if (start && start->isEnabled()) {
            pressed = true;
            start->click();
        }
    }
}

void poll()
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        if (box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        appendBoxLine(box);
        if (QAbstractButton *button = box->buttons().value(0))
            button->click();
        return;
    }
    pressStartOnce();
}

void startAnswering()
{
    QTimer::singleShot(0, []() {
        auto *timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, &poll);
        timer->start(20);
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startAnswering)

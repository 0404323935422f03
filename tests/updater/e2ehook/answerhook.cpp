// Preloaded (LD_PRELOAD) into the updater program by its end-to-end test:
// presses the window's start button once and answers every message box with
// its first button, logging what each box said (boxlogline.h) and, in the
// same file name with ".window" appended, the box's button texts and the
// download row's status at that moment. It can also close the window
// mid-download (closeWhileUpdating).

#include "boxlogline.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

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

void logWindow(const QMessageBox *box)
{
    QStringList buttons;
    for (const QAbstractButton *button : box->buttons())
        buttons << button->text();
    QString row;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *list = window->findChild<QTreeWidget *>(QStringLiteral("lstDownload")))
            row = list->topLevelItemCount() > 0 ? list->topLevelItem(0)->text(4) : QString();
    }
    QFile log(qEnvironmentVariable("VARNEL_TEST_BOX_LOG") + QStringLiteral(".window"));
    if (log.open(QIODevice::Append))
        log.write((buttons.join(QLatin1Char('|')) + QLatin1Char('\t') + row + QLatin1Char('\n'))
                      .toUtf8());
}

// With VARNEL_TEST_CLOSE_WHILE_UPDATING set, closes the window as soon as
// its row says the body is arriving, as a user who changes their mind.
void closeWhileUpdating()
{
    if (qEnvironmentVariableIsEmpty("VARNEL_TEST_CLOSE_WHILE_UPDATING"))
        return;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *list = window->findChild<QTreeWidget *>(QStringLiteral("lstDownload"));
        if (list && window->isVisible() && list->topLevelItemCount() > 0 &&
            list->topLevelItem(0)->text(4) == QStringLiteral("更新"))
            window->close();
    }
}

void poll()
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        if (box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        appendBoxLine(box);
        logWindow(box);
        if (QAbstractButton *button = box->buttons().value(0))
            button->click();
        return;
    }
    pressStartOnce();
    closeWhileUpdating();
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

// Preloaded (LD_PRELOAD) into the updater program by its end-to-end test:
// presses the window's start button once and answers every message box with
// its first button, appending what each box said to the file named by
// VARNEL_TEST_BOX_LOG, one line per box: title, icon number and text,
// separated by tabs, line breaks in the text written as "\n".

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace
{

void logBox(const QMessageBox *box)
{
    QFile log(qEnvironmentVariable("VARNEL_TEST_BOX_LOG"));
    if (!log.open(QIODevice::Append))
        return;
    QString text = box->text();
    text.replace(QLatin1String("\r"), QString()).replace(QLatin1String("\n"), QLatin1String("\\n"));
    log.write((box->windowTitle() + QLatin1Char('\t') + QString::number(box->icon()) +
               QLatin1Char('\t') + text + QLatin1Char('\n'))
                  .toUtf8());
}

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
        logBox(box);
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

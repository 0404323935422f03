#include "dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void DialogAnswerer::arm(std::function<bool(QWidget *)> answer)
{
    auto *timer = new QTimer(timers_.get());
    timer->setInterval(10);
    auto deadline = std::make_shared<int>(500); // 5 s at most
    QObject::connect(timer, &QTimer::timeout, [timer, answer, deadline]() {
        QWidget *modal = QApplication::activeModalWidget();
        if ((modal && answer(modal)) || --*deadline <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

void DialogAnswerer::answerMessage(QMessageBox::StandardButton button)
{
    arm([this, button](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return false;
        seen_.append({box->windowTitle(), box->text(), QStringLiteral("message"), box->icon()});
        QAbstractButton *b = box->button(button);
        if (!b)
            b = box->buttons().value(0);
        if (b)
            b->click();
        else
            box->reject();
        return true;
    });
}

void DialogAnswerer::answerInput(const QString &text, bool accept)
{
    arm([this, text, accept](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        if (!dialog)
            return false;
        seen_.append({dialog->windowTitle(), dialog->labelText(), QStringLiteral("input"), 0});
        dialog->setTextValue(text);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
        return true;
    });
}

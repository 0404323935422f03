#include "boxanswerer.h"

#include <QAbstractButton>
#include <QApplication>

BoxAnswerer::BoxAnswerer()
{
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::poll);
    timer_.start();
}

QStringList BoxAnswerer::texts() const
{
    QStringList texts;
    for (const Box &box : boxes_)
        texts.append(box.text);
    return texts;
}

void BoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || box->property("answered").toBool())
        return;
    box->setProperty("answered", true);
    boxes_.append({box->windowTitle(), box->text(), box->icon()});
    if (QAbstractButton *button = box->buttons().value(0))
        button->click();
    else
        box->reject();
}

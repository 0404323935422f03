#pragma once

// What the preloaded hooks write for each message box of a program under
// test: one line in the file named by VARNEL_TEST_BOX_LOG with the title, the
// icon number and the text, separated by tabs, line breaks written "\n".

#include <QFile>
#include <QMessageBox>

inline void appendBoxLine(const QMessageBox *box)
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

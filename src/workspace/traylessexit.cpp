#include "traylessexit.h"

#include "base/appwindows.h"
#include "clicklabel.h"
#include "formcontrols.h"

#include <QCoreApplication>

TraylessExit::TraylessExit(QWidget *window) : QObject(window)
{
    Lab_exit =
        varnel::makeClickLabel(window, "Lab_exit", QStringLiteral("退出"), 5040, 75, 360, 180);
    Lab_exit->setCursor(Qt::PointingHandCursor);
    Lab_exit->setToolTip(QStringLiteral("退出Varnel"));
    connect(Lab_exit, &ClickLabel::clicked, this, &TraylessExit::Lab_exit_Click);
    follow();
}

void TraylessExit::follow()
{
    const varnel::AppWindows *windows = varnel::AppWindows::current();
    Lab_exit->setVisible(!(windows && windows->trayIconShown()));
}

// As the tray menu's "退出Varnel": the icon, the main window, the program.
void TraylessExit::Lab_exit_Click()
{
    if (auto *windows = varnel::AppWindows::current()) {
        windows->delIcon();
        windows->unloadMainWindow();
    }
    QCoreApplication::exit(0);
}

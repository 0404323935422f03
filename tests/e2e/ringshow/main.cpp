// Shows the reminder pop-up, as the main window's 提醒 does, on the display
// it is started on, and ends when the pop-up is closed. The journeys look at
// the pop-up from outside, through the desktop it runs on.

#include "frmring.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    varnel::preferX11Platform();
    QApplication app(argc, argv);
    QObject::connect(FrmRing::showRing(), &QObject::destroyed, &app, &QCoreApplication::quit);
    return app.exec();
}

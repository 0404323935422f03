// The updater: one window that downloads the new notebook program into its
// own folder and ends when the user has read the result.

#include "frmmain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    frmMain window;
    window.show();
    return app.exec();
}

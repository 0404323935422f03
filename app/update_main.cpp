// The updater: one window that downloads the new notebook program into its
// own folder and ends when the user has read the result. Exits with 1 when
// the update failed.

#include "frmmain.h"
#include "updaterinfo.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    updater::prepareApplication(app);
    frmMain window;
    window.show();
    const int code = app.exec();
    return window.updateFailed() ? 1 : code;
}

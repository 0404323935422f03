#include "quitsignals.h"
#include "screenfit.h"
#include "startup.h"
#include "store/datalayer.h"
#include "varnel_config.h"
#include "windowhost.h"

#include <QApplication>

// What the updater reads from this file to learn which version it replaces.
[[gnu::used]] static const char kVersionStamp[] =
    VARNEL_VERSION_STAMP_PREFIX VARNEL_PROGRAM_VERSION;

int main(int argc, char **argv)
{
    varnel::preferX11Platform();
    varnel::fitScaleToScreen(QSize(455, 418)); // the notes window
    QApplication app(argc, argv);
    varnel::prepareApplication(app);
    // The data layer goes before the application object: the search's
    // reading thread ends while Qt's thread machinery is still there.
    varnel::DataLayer dataLayer;
    // SIGTERM and the like end the event loop from the first window on, so
    // the program ends as from the tray menu (the instance lock goes too).
    const QuitSignals quitSignals;
    varnel::WindowHost windows;
    if (const auto code = varnel::Main(windows))
        return *code;
    return app.exec();
}

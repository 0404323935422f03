#include "startup.h"

#include "appinfo.h"
#include "appwindows.h"
#include "database.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTranslator>

namespace varnel {

void prepareApplication(QApplication &app)
{
    app.setApplicationName(appTitle());
    app.setApplicationVersion(QStringLiteral("%1.%2.%3")
                                  .arg(kVersionMajor)
                                  .arg(kVersionMinor)
                                  .arg(kVersionRevision));
    auto *qtbase = new QTranslator(&app);
    if (qtbase->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtbase);
}

std::optional<int> Main(AppWindows &windows)
{
    windows.showMainWindow();
    return std::nullopt;
}

} // namespace varnel

#include "startup.h"

#include "appinfo.h"
#include "appwindows.h"
#include "database.h"
#include "frmlogin.h"
#include "gpublic.h"
#include "instancelock.h"
#include "settingsrow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

namespace varnel
{

namespace
{

// The start mode of the settings row: 1 starts into the tray. Tells the user
// and gives nothing when the row cannot be read.
std::optional<int> readStartMode()
{
    try {
        const auto row = readSettingsRow();
        if (row)
            return startModeOf(row->autoStart);
        QMessageBox::critical(nullptr, QStringLiteral("Varnel提示"),
                              missingSettingsRowText() + QStringLiteral("\n\n程序无法启动。"));
    } catch (const DbError &e) {
        showDbError(nullptr, e);
    }
    return std::nullopt;
}

void showLogin(AppWindows &windows)
{
    auto *login = new frmLogin(&windows);
    QObject::connect(login, &frmLogin::closedWithoutLogin, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    login->show();
}

} // namespace

void prepareApplication(QApplication &app)
{
    app.setApplicationName(appTitle());
    app.setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    // The tray keeps the program alive with no window open; the program ends
    // explicitly (login closed, tray exit).
    QApplication::setQuitOnLastWindowClosed(false);
    auto *qtbase = new QTranslator(&app);
    if (qtbase->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtbase);
}

std::optional<int> Main(AppWindows &windows)
{
    if (!InstanceLock::acquire()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnel提示！"),
                        QStringLiteral("Varnel软件已经运行！"), QMessageBox::Ok);
        box.exec();
        return 1;
    }
    const std::optional<int> mode = readStartMode();
    if (!mode) {
        InstanceLock::release();
        return 1;
    }
    if (*mode == 1) {
        windows.loadTray(false);
        // With neither a tray icon nor the hot key the user could never reach
        // the program: ask for the password instead of hiding.
        if (windows.trayIconShown() || windows.hotKeyActive())
            return std::nullopt;
    }
    showLogin(windows);
    return std::nullopt;
}

} // namespace varnel

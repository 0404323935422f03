#include "startup.h"

#include "base/appinfo.h"
#include "base/appwindows.h"
#include "store/backup/backupschedule.h"
#include "store/database.h"
#include "frmlogin.h"
#include "gpublic.h"
#include "instancelock.h"
#include "restoreoffer.h"
#include "backupnotice.h"
#include "reachnotice.h"
#include "settingsrow.h"
#include "textlook.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>

namespace varnel
{

namespace
{

// The start mode of the settings row: 1 starts into the tray. Tells the user
// and gives nothing when the row cannot be read. A damaged notebook can be
// restored from its newest good copy, and the start goes on with that.
std::optional<int> readStartMode()
{
    for (bool restored = false;;) {
        try {
            const auto row = readSettingsRow();
            if (row)
                return startModeOf(row->autoStart);
            QMessageBox::critical(nullptr, QStringLiteral("Varnel提示"),
                                  missingSettingsRowText() + QStringLiteral("\n\n程序无法启动。"));
        } catch (const DbError &e) {
            if (e.kind() == DbError::NotADatabase && !restored) {
                restored = RestoreOffer::offer(nullptr, e);
                if (restored)
                    continue;
            } else {
                showDbError(nullptr, e);
            }
        }
        return std::nullopt;
    }
}

// The day's backup now and each new day's while the program runs; a failure
// is told once per run.
void startBackups()
{
    auto *schedule = new BackupSchedule({}, qApp);
    QObject::connect(schedule, &BackupSchedule::finished, schedule, &BackupNotice::tell);
    schedule->start();
}

void showLogin(AppWindows &windows)
{
    auto *login = new frmLogin(&windows);
    QObject::connect(login, &frmLogin::closedWithoutLogin, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    login->show();
}

// How long a tray start waits for a way back to the main window: the
// desktop's answer for the hot key, or a tray host (a panel that starts with
// the session may come a few seconds after the program).
constexpr int kReachWaitMs = 10000;
// How long after that a tray host or the hot key that still turns up takes
// back the notice that neither is there.
constexpr int kLateReachMs = 120000;

bool reachable(const AppWindows &windows)
{
    return windows.trayIconShown() || windows.hotKeyActive();
}

// A tray start with neither a tray icon nor the hot key could never be
// reached: ask for the password instead, and say why.
void startIntoTray(AppWindows &windows)
{
    windows.loadTray(false);
    windows.whenReachable(
        [&windows] {
            if (reachable(windows))
                return;
            showLogin(windows);
            QPointer<QMessageBox> notice = ReachNotice::showOnce(nullptr, false, false);
            if (!notice)
                return;
            // The notice would be wrong once the icon or the key is there.
            windows.whenReachable(
                [&windows, notice] {
                    if (notice && reachable(windows))
                        notice->close();
                },
                kLateReachMs);
        },
        kReachWaitMs);
}

} // namespace

void preferX11Platform()
{
    // On a Wayland session the notebook runs through XWayland, where its
    // windows may place themselves (the reminder pop-up at the bottom right)
    // and start a system move, which Wayland leaves to the compositor. A
    // platform named explicitly for another purpose (offscreen) stands.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        !(platform.isEmpty() || platform.startsWith("wayland")))
        return;
    qputenv("QT_QPA_PLATFORM", "xcb");
}

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
    useReadableText(app);
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
    startBackups();
    if (*mode == 1)
        startIntoTray(windows);
    else
        showLogin(windows);
    return std::nullopt;
}

} // namespace varnel

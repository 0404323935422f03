#include "screenfit.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace varnel
{

namespace
{

// Room the desktop keeps for itself (panels, a title bar) around the window.
constexpr int kMarginX = 16;
constexpr int kMarginY = 72;

// Xft.dpi from the X resources on the root window; 0 when none is set.
double resourceDpi(xcb_connection_t *connection, xcb_window_t root)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, root, XCB_ATOM_RESOURCE_MANAGER,
                                                XCB_ATOM_STRING, 0, 1 << 20),
                               nullptr);
    if (!reply)
        return 0;
    const QByteArray resources(static_cast<const char *>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
    std::free(reply);
    static const QRegularExpression dpi(QStringLiteral("(?:^|\\n)Xft\\.dpi:\\s*([0-9.]+)"));
    const QRegularExpressionMatch match = dpi.match(QString::fromLatin1(resources));
    return match.hasMatch() ? match.captured(1).toDouble() : 0;
}

} // namespace

std::optional<double> fittingScaleFactor(QSize window, double desktopScale, QSize screen,
                                         double userFactor)
{
    if (window.isEmpty() || screen.isEmpty() || desktopScale <= 0 || userFactor <= 0)
        return std::nullopt;
    const double scale = desktopScale * userFactor; // what Qt draws at
    const double widest = double(screen.width() - kMarginX) / window.width();
    const double tallest = double(screen.height() - kMarginY) / window.height();
    const double fits = std::max(1.0, std::min(widest, tallest));
    if (scale <= fits)
        return std::nullopt;
    return userFactor * fits / scale;
}

bool compositorPlacesWindows()
{
    // XWayland names its outputs XWAYLAND0, XWAYLAND1, ...
    if (qGuiApp)
        for (const QScreen *screen : QGuiApplication::screens())
            if (screen->name().startsWith(QLatin1String("XWAYLAND")))
                return true;
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection))
        return false;
    static const char kName[] = "XWAYLAND";
    xcb_query_extension_reply_t *reply = xcb_query_extension_reply(
        connection, xcb_query_extension(connection, sizeof(kName) - 1, kName), nullptr);
    const bool xwayland = reply && reply->present;
    std::free(reply);
    return xwayland;
}

void fitScaleToScreen(QSize window)
{
    if (qgetenv("QT_QPA_PLATFORM") != "xcb" ||
        qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS") ||
        qgetenv("QT_ENABLE_HIGHDPI_SCALING") == "0")
        return;
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(connection);
        return;
    }
    const QSize screen(it.data->width_in_pixels, it.data->height_in_pixels);
    const double dpi = resourceDpi(connection, it.data->root);
    xcb_disconnect(connection);

    bool set = false;
    const double user = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&set);
    const double userFactor = set && user > 0 ? user : 1.0;
    const double desktop = dpi > 0 ? dpi / 96.0 : 1.0;
    if (const auto factor = fittingScaleFactor(window, desktop, screen, userFactor))
        qputenv("QT_SCALE_FACTOR", QByteArray::number(*factor, 'f', 3));
}

} // namespace varnel

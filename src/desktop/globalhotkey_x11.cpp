// The hot key on X11: a passive grab of Ctrl + every keycode that carries the
// keysym "1" on each root window, with the CapsLock and NumLock variants, so
// the key works whatever the lock state. The key presses the grab brings in
// arrive on Qt's own connection and are picked out by a native event filter.

#include "globalhotkey.h"
#include "globalhotkeybackends.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QList>
#include <QScreen>
#include <QSignalBlocker>
#include <QtGui/qguiapplication_platform.h>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>

namespace
{

constexpr quint16 kUnwantedModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_connection_t *qtConnection()
{
    auto *app = qGuiApp;
    if (!app)
        return nullptr;
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    // Under the offscreen platform the interface exists but has no connection.
    return x11 ? x11->connection() : nullptr;
}

QList<xcb_keycode_t> keycodesOf(xcb_connection_t *connection, xcb_keysym_t keysym)
{
    QList<xcb_keycode_t> codes;
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(connection);
    if (!symbols)
        return codes;
    if (xcb_keycode_t *found = xcb_key_symbols_get_keycode(symbols, keysym)) {
        for (xcb_keycode_t *code = found; *code != XCB_NO_SYMBOL; ++code) {
            if (!codes.contains(*code))
                codes.append(*code);
        }
        std::free(found);
    }
    xcb_key_symbols_free(symbols);
    return codes;
}

// The modifier bit NumLock sets; Mod2 on nearly every keyboard map.
quint16 numLockMask(xcb_connection_t *connection)
{
    const QList<xcb_keycode_t> numLock = keycodesOf(connection, XK_Num_Lock);
    xcb_get_modifier_mapping_reply_t *reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (!reply)
        return XCB_MOD_MASK_2;
    quint16 mask = 0;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8 && !mask; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code != 0 && numLock.contains(code)) {
                mask = quint16(1u << modifier);
                break;
            }
        }
    }
    std::free(reply);
    // A NumLock that sits on Shift, Lock or Control would break the variants.
    if (mask <= XCB_MOD_MASK_CONTROL)
        mask = XCB_MOD_MASK_2;
    return mask;
}

// Waits until the server has handled everything sent so far.
void sync(xcb_connection_t *connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

class X11HotKey : public GlobalHotKey, public QAbstractNativeEventFilter
{
  public:
    explicit X11HotKey(QObject *parent) : GlobalHotKey(parent) {}
    ~X11HotKey() override
    {
        const QSignalBlocker quiet(this); // nobody listens to a key being destroyed
        release();
    }

    bool grab() override;
    void release() override;
    bool isActive() const override { return active_; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

  private:
    struct Grab {
        xcb_window_t root;
        xcb_keycode_t code;
        quint16 modifiers;
    };

    QList<quint16> modifierVariants() const;
    bool grabOne(const Grab &grab);
    void ungrabAll();
    bool isOurs(const xcb_key_press_event_t *event) const;

    xcb_connection_t *connection_ = nullptr;
    QList<Grab> grabs_;
    bool active_ = false;
};

QList<quint16> X11HotKey::modifierVariants() const
{
    const quint16 numLock = numLockMask(connection_);
    const quint16 ctrl = XCB_MOD_MASK_CONTROL;
    const quint16 caps = XCB_MOD_MASK_LOCK;
    return {ctrl, quint16(ctrl | numLock), quint16(ctrl | caps), quint16(ctrl | numLock | caps)};
}

bool X11HotKey::grabOne(const Grab &grab)
{
    const xcb_void_cookie_t cookie =
        xcb_grab_key_checked(connection_, 0, grab.root, grab.modifiers, grab.code,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    // BadAccess when another client holds the same key and modifiers.
    if (xcb_generic_error_t *error = xcb_request_check(connection_, cookie)) {
        std::free(error);
        return false;
    }
    grabs_.append(grab);
    return true;
}

bool X11HotKey::grab()
{
    if (active_)
        return true;
    connection_ = qtConnection();
    if (!connection_ || xcb_connection_has_error(connection_))
        return false;
    const QList<xcb_keycode_t> codes = keycodesOf(connection_, XK_1);
    if (codes.isEmpty())
        return false;
    const QList<quint16> variants = modifierVariants();
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (; screens.rem; xcb_screen_next(&screens)) {
        for (xcb_keycode_t code : codes) {
            for (quint16 modifiers : variants) {
                if (!grabOne({screens.data->root, code, modifiers})) {
                    // All or nothing: a half-held key would fire by lock state.
                    ungrabAll();
                    return false;
                }
            }
        }
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    active_ = true;
    emit stateChanged();
    return true;
}

void X11HotKey::ungrabAll()
{
    if (grabs_.isEmpty())
        return;
    // After the application is gone its connection is closed, and the server
    // has dropped the grabs with it.
    if (connection_ && connection_ == qtConnection()) {
        for (const Grab &grab : std::as_const(grabs_))
            xcb_ungrab_key(connection_, grab.code, grab.root, grab.modifiers);
        sync(connection_);
    }
    grabs_.clear();
}

void X11HotKey::release()
{
    if (auto *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    ungrabAll();
    if (!active_)
        return;
    active_ = false;
    emit stateChanged();
}

bool X11HotKey::isOurs(const xcb_key_press_event_t *event) const
{
    for (const Grab &grab : grabs_) {
        if (grab.root == event->event && grab.code == event->detail)
            return true;
    }
    return false;
}

bool X11HotKey::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!active_ || eventType != QByteArrayLiteral("xcb_generic_event_t"))
        return false;
    const auto *generic = static_cast<const xcb_generic_event_t *>(message);
    if ((generic->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    const auto *press = static_cast<const xcb_key_press_event_t *>(message);
    if (!isOurs(press))
        return false;
    if (!(press->state & XCB_MOD_MASK_CONTROL) || (press->state & kUnwantedModifiers))
        return false;
    emit activated();
    return true;
}

} // namespace

std::unique_ptr<GlobalHotKey> makeX11HotKey(QObject *parent)
{
    return std::make_unique<X11HotKey>(parent);
}

bool runsOnXWayland()
{
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return false;
    // Xwayland 23.1 and later announce themselves with an extension of their
    // own; earlier ones (Debian 12 has 22.1) only by the names of their RandR
    // outputs, which Qt gives its screens.
    const char name[] = "XWAYLAND";
    xcb_query_extension_reply_t *extension = xcb_query_extension_reply(
        connection, xcb_query_extension(connection, sizeof name - 1, name), nullptr);
    const bool announced = extension && extension->present;
    std::free(extension);
    if (announced)
        return true;
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [](const QScreen *screen) {
        return screen->name().startsWith(QLatin1String("XWAYLAND"));
    });
}

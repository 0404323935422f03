#pragma once

#include <QList>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

// Another X client: its own connection, grabbing Ctrl+1 on the root window the
// way any program would, to see whether the key is free.
class RawXGrab
{
  public:
    RawXGrab() : connection_(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(connection_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(connection_);
        if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, XK_1)) {
            for (xcb_keycode_t *c = codes; *c != XCB_NO_SYMBOL; ++c)
                codes_.append(*c);
            std::free(codes);
        }
        xcb_key_symbols_free(symbols);
    }
    ~RawXGrab() { xcb_disconnect(connection_); }
    RawXGrab(const RawXGrab &) = delete;
    RawXGrab &operator=(const RawXGrab &) = delete;

    bool ok() const { return !xcb_connection_has_error(connection_) && !codes_.isEmpty(); }

    // Grabs Ctrl+1 with each of the given extra modifiers; true only when
    // every grab succeeded (none failed with BadAccess).
    bool grab(const QList<quint16> &extraModifiers)
    {
        bool all = true;
        for (xcb_keycode_t code : std::as_const(codes_)) {
            for (quint16 extra : extraModifiers) {
                const xcb_void_cookie_t cookie = xcb_grab_key_checked(
                    connection_, 0, root_, quint16(XCB_MOD_MASK_CONTROL | extra), code,
                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
                if (xcb_generic_error_t *error = xcb_request_check(connection_, cookie)) {
                    all = false;
                    std::free(error);
                }
            }
        }
        return all;
    }

    void ungrab()
    {
        xcb_ungrab_key(connection_, XCB_GRAB_ANY, root_, XCB_MOD_MASK_ANY);
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    static QList<quint16> allLockVariants()
    {
        return {0, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};
    }

  private:
    xcb_connection_t *connection_;
    xcb_window_t root_ = 0;
    QList<xcb_keycode_t> codes_;
};

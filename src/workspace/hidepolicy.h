#pragma once

#include <functional>

class QWidget;

namespace varnel
{

// Where the main window goes when the user hides or closes it, by what could
// bring it back: the tray icon or the global hot key. Without either, hiding
// only minimises (the window stays on the taskbar) and a close through the
// window manager ends the program, so it is never left running unreachable.
//
// The decision waits for the hot key's state: the desktop may still be
// answering for it (at the start of a session, or after the hot key was
// asked for again). `then` gets the outcome once it is known, right away when
// nothing is pending, and not at all when the window is gone by then.
class HidePolicy
{
  public:
    enum class Outcome { Unload, Minimise, Quit };
    using Decided = std::function<void(Outcome)>;

    // 隐藏 or minimising. Both ask the hot key to try again first (another
    // program may have let it go) and tell the user once what is missing.
    static void onHide(QWidget *window, bool fromMinimise, const Decided &then);
    // Closed through the window manager (Alt+F4, a taskbar's close): like
    // 隐藏 while there is a way back, otherwise the end of the program.
    static void onWindowManagerClose(QWidget *window, const Decided &then);
};

} // namespace varnel

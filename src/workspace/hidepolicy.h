#pragma once

class QWidget;

namespace varnel
{

// Where the main window goes when the user hides or closes it, by what could
// bring it back: the tray icon or the global hot key. Without either, hiding
// only minimises (the window stays on the taskbar) and a close through the
// window manager ends the program, so it is never left running unreachable.
class HidePolicy
{
  public:
    enum class Outcome { Unload, Minimise, Quit };

    // 隐藏 or minimising. Both ask the hot key to try again first (another
    // program may have let it go) and tell the user once what is missing.
    static Outcome onHide(QWidget *window, bool fromMinimise);
    // Closed through the window manager (Alt+F4, a taskbar's close): like
    // 隐藏 while there is a way back, otherwise the end of the program.
    static Outcome onWindowManagerClose(QWidget *window);
};

} // namespace varnel

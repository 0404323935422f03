#pragma once

#include <optional>

class QApplication;

namespace varnel
{

class AppWindows;

// Before the application object: on a Wayland session with XWayland the
// notebook runs as an X11 client.
void preferX11Platform();

// Application-wide preparation before any window: names, Chinese translations
// of Qt's standard buttons.
void prepareApplication(QApplication &app);

// The start-up sequence of the notebook. Returns an exit code when the program
// must end at once (second copy, unusable database), or nothing when the
// event loop should run with the windows it opened.
std::optional<int> Main(AppWindows &windows);

} // namespace varnel

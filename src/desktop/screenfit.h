#pragma once

#include <QSize>

#include <optional>

namespace varnel
{

// The program's windows are drawn at the desktop's scale: Qt takes it from
// the X resources' Xft.dpi, which the desktop's display settings set, times
// a QT_SCALE_FACTOR the user set. Where the notes window would not fit on
// the screen at that scale, the scale is lowered until it does (not below
// 1:1): a window taller than the screen could neither be seen whole nor moved.
// Runs before the application object exists.
void fitScaleToScreen(QSize window);

// The QT_SCALE_FACTOR that lowers the scale Qt would draw at (the desktop's
// times the user's factor) so that a window of `window` pixels fits `screen`
// (pixels); nothing when it fits as it is.
std::optional<double> fittingScaleFactor(QSize window, double desktopScale, QSize screen,
                                         double userFactor);

// Whether the X server is XWayland: there the compositor places the windows
// and a place a window asks for only puts X's idea of it out of step.
bool compositorPlacesWindows();

} // namespace varnel

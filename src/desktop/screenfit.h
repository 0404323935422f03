#pragma once

#include <QSize>

#include <optional>

namespace varnel
{

// The scale the program's windows are drawn at follows the desktop's (the X
// resources' Xft.dpi, as set by the desktop's display settings, times a
// QT_SCALE_FACTOR the user set). Where the notes window would not fit on the
// screen at that scale, the scale is lowered until it does: a window taller
// than the screen could neither be seen whole nor moved.
// Runs before the application object exists.
void fitScaleToScreen(QSize window);

// The factor to set as QT_SCALE_FACTOR so that a window of `window` pixels
// at scale `scale` fits `screen` (pixels), or nothing when it fits already.
std::optional<double> fittingScaleFactor(QSize window, double scale, QSize screen,
                                         double userFactor);

} // namespace varnel

#pragma once

#include <QPixmap>
#include <QRect>
#include <QRegion>

class QImage;
class QWidget;

namespace varnel
{

class DbError;

// A rectangle of a window's design, given in twips (15 to a pixel), in whole
// pixels.
inline QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// Starts moving a window as if its caption bar had been pressed: called from
// the mouse-press handler of a control that serves as the window's drag handle.
// The window follows the mouse until the button is released.
void DragForm(QWidget *window);

// The background picture of the login and settings windows: 460 x 404 pixels,
// white at the top fading to light blue at the bottom.
QPixmap formBackground();

// Tells the user that a data operation failed (critical icon, the error's own
// Chinese text). The window stays as it was.
void showDbError(QWidget *parent, const DbError &error);

// The part of a picture that is not pure white, as a region in its pixels.
QRegion nonWhiteRegion(const QImage &picture);
// Makes every pure white pixel of the window, as it looks now, transparent
// (and click-through) by giving the window a mask.
void maskWhitePixels(QWidget *window);
// Readies a window for maskWhitePixels: call before it is first shown, and
// have it paint its whole background itself. It gets an alpha channel, which
// lets a compositor that ignores X11 window shapes (weston's XWayland window
// manager draws an opaque window whole, the masked parts black) show what
// lies behind the masked parts.
void prepareWhiteMask(QWidget *window);

} // namespace varnel

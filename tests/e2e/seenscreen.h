#pragma once

// What the user sees and does on a desktop, for journeys about where windows
// are drawn: the pictures on the test X server's screen and its mouse. On a
// Wayland session (weston's window on the test X server) that screen is the
// compositor's output and that mouse is the compositor's seat, exactly as a
// user's: what X believes about a window's place on XWayland is not looked at.

#include "e2eharness.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

// The desktop the programs of a journey run on.
class Desktop
{
  public:
    enum class Kind { BareX11, Openbox, Weston };
    explicit Desktop(Kind kind);
    ~Desktop();
    bool ok() const { return ok_; }
    // The X display the programs use (XWayland's on a Wayland session).
    QString programDisplay() const;
    // The screen as the user sees it, in the test display's pixels.
    QRect screen() const;

  private:
    std::unique_ptr<WindowManager> wm_;
    std::unique_ptr<WaylandSession> session_;
    bool ok_ = false;
};

namespace seen
{

// The test display's screen as it is drawn now.
QImage screen();
// A window's own picture, read from the X server it is on.
QImage windowPicture(const QString &display, const QString &window);
// The rectangle of a window on its X server, and that of its frame (the
// top-level window holding it; the window itself when nothing frames it).
QRect windowRect(const QString &display, const QString &window);
QRect frameRect(const QString &display, const QString &window);
bool sameColour(QRgb a, QRgb b);
// Where the picture is drawn whole (a few stray pixels aside, the pointer
// for one) inside `area` of the shot: its top left.
std::optional<QPoint> find(const QImage &shot, const QImage &picture, const QRect &area);
// Waits until the picture shows in `area` and stays put; where it stays.
std::optional<QPoint> waitFor(const QImage &picture, const QRect &area, int ms = 15000);

} // namespace seen

// The test display's mouse.
namespace hand
{

// Presses the left button at `from`, moves to `to` in steps and lets go.
void drag(QPoint from, QPoint to);
void click(QPoint at);

} // namespace hand

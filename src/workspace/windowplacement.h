#pragma once

#include <QPoint>
#include <QSize>

#include <optional>

class QRect;
class QScreen;
class QWidget;

// Where the notes window opens. It is built anew at every show; for the
// rest of the run it comes back where the user left it, moved just enough to
// lie whole on a screen (a screen may have gone or shrunk meanwhile). The
// first show of a run is centred on the screen under the mouse. Under
// XWayland the compositor places it, as every other window.
class WindowPlacement
{
  public:
    // Moves the window (not yet shown) to its place.
    static void place(QWidget *window);
    // Notes where the user has put the window.
    static void remember(const QWidget *window);
    static void forget() { last_.reset(); }

    // The top left that puts a window of `size` whole inside `area`, as
    // near `wanted` as can be (the top left corner wins when it is larger).
    static QPoint keptInside(QPoint wanted, QSize size, const QRect &area);

  private:
    static QScreen *screenFor(QPoint at);
    static inline std::optional<QPoint> last_;
};

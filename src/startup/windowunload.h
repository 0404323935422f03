#pragma once

#include <QPointer>

class QObject;
class QWidget;

namespace varnel
{

// Unloading a window that is still busy would pull it away from under its
// own code: a handler of it further up the stack, or the event loop of a
// dialog it owns (a message box, the settings window), which an unload
// requested from inside that dialog's loop would otherwise destroy with it.
//
// A window that may unload itself notes the event loop it was built in
// (noteHomeLoop); its handlers mark themselves running (HandlerScope);
// unloadWhenIdle hides it at once, cancels the dialogs it owns so their loops
// return, and destroys it once control is back in its home loop with none of
// its handlers running.

void noteHomeLoop(QWidget *window);
void unloadWhenIdle(QWidget *window);
bool isUnloading(const QWidget *window);

class HandlerScope
{
  public:
    explicit HandlerScope(QObject *window);
    ~HandlerScope();
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;

  private:
    QPointer<QObject> window_;
};

} // namespace varnel

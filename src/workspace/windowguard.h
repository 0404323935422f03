#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace varnel
{

class DbError;

// Thrown when the window was destroyed while it let waiting events run.
struct WindowGone {
};

// Runs the body of a handler of `window`. A data failure is shown in a message
// box over the window and leaves the window usable; false when the body did
// not run to its end.
bool guarded(QWidget *window, const std::function<void()> &body);
// The message box of a data failure, titled "错误提示"; for a damaged notebook
// it offers to restore the newest good copy.
void reportFailure(QWidget *window, const DbError &error);

} // namespace varnel

#pragma once

class QWidget;

namespace varnel {

// Starts moving a window as if its caption bar had been pressed: called from
// the mouse-press handler of a control that serves as the window's drag handle.
// The window follows the mouse until the button is released.
void DragForm(QWidget *window);

} // namespace varnel

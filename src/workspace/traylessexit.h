#pragma once

#include <QObject>

class ClickLabel;
class QWidget;

// "退出" on the main window's title strip, left of "皮肤", for as long as
// the program has no tray icon: the icon's menu is otherwise the only way to
// end the program, and with the hot key alone (a desktop without a tray) the
// window only hides.
class TraylessExit : public QObject
{
    Q_OBJECT
  public:
    explicit TraylessExit(QWidget *window);

    // Shown while the tray icon is not.
    void follow();
    ClickLabel *label() const { return Lab_exit; }

  private:
    void Lab_exit_Click();

    ClickLabel *Lab_exit = nullptr;
};

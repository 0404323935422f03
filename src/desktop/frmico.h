#pragma once

#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

class GlobalHotKey;
class QAction;
class QMenu;
class QTimer;
class QuitSignals;

// The tray window: never seen by the user; owns the tray icon and the global
// hot key for as long as the program runs. A left press on the icon or Ctrl+1
// brings up the main window; the icon's menu ends the program.
class Frmico : public QWidget
{
    Q_OBJECT
  public:
    explicit Frmico(QWidget *parent = nullptr);
    ~Frmico() override;

    // Loads the tray: icon and hot key. shown: visible until the first tick.
    void Load(bool shown);
    // Removes the tray icon; a second call does nothing.
    void DelIcon();

    bool isIconShown() const;    // the icon sits in a running tray host
    bool isHotKeyActive() const; // Ctrl+1 is grabbed

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void createTrayIcon();
    void createMenu();
    void createTimers();
    void installIcon();

    void Ico_Pic_q7q_Activated(QSystemTrayIcon::ActivationReason reason);
    void VlExit_Click();
    void Timer1_Timer();
    void HotKeyPressed();

    QSystemTrayIcon *Ico_Pic_q7q = nullptr;
    QMenu *vllist = nullptr;
    QAction *VlExit = nullptr;
    QTimer *Timer1 = nullptr;
    std::unique_ptr<GlobalHotKey> hotKey_;
    std::unique_ptr<QuitSignals> quitSignals_;
    bool loaded_ = false;
};

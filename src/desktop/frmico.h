#pragma once

#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>

class GlobalHotKey;
class QAction;
class QMenu;
class QTimer;
class QuitSignals;
class TrayHostWatch;

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

    bool isIconShown() const;     // the icon sits in a running tray host
    bool isHotKeyActive() const;  // Ctrl+1 works
    QString hotKeyName() const;   // as the desktop names the key
    bool isHotKeyPending() const; // the desktop has not answered yet
    // Tries the hot key again when it is not held: another program may have
    // let it go since.
    void retryHotKey();
    // Calls `then` once the hot key's answer is in, or after waitMs at most.
    void whenHotKeySettled(const std::function<void()> &then, int waitMs);
    // Calls `then` once the icon shows or the hot key works, or after waitMs.
    void whenReachable(const std::function<void()> &then, int waitMs);

  signals:
    // The icon or the hot key came or went.
    void reachChanged();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void createTrayIcon();
    void createMenu();
    void createTimers();
    void installIcon();
    void loadHotKey();
    void updateTip();
    // Calls `then` when `done` holds, checked now and at each `signal` of
    // `sender`, or after waitMs at most.
    template <typename Sender, typename Signal>
    void when(const std::function<bool()> &done, const Sender *sender, Signal signal,
              const std::function<void()> &then, int waitMs);

    void Ico_Pic_q7q_Activated(QSystemTrayIcon::ActivationReason reason);
    void VlExit_Click();
    void Timer1_Timer();
    void HotKeyPressed();

    QSystemTrayIcon *Ico_Pic_q7q = nullptr; // made once a tray host runs
    QMenu *vllist = nullptr;
    QAction *VlExit = nullptr;
    QTimer *Timer1 = nullptr;
    std::unique_ptr<GlobalHotKey> hotKey_;
    std::unique_ptr<QuitSignals> quitSignals_;
    TrayHostWatch *hostWatch_ = nullptr;
    bool loaded_ = false;
    bool iconRemoved_ = false;
};

#pragma once

#include "skinengine.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel
{
class AppWindows;
class BannerView;
} // namespace varnel

// The start-up password window. A correct password opens the main window and
// the tray and unloads this window; closing it without logging in is reported
// through closedWithoutLogin (the program then ends).
class frmLogin : public QWidget
{
    Q_OBJECT
  public:
    // windows: where the main window and the tray are opened; null means
    // AppWindows::current().
    explicit frmLogin(varnel::AppWindows *windows = nullptr, QWidget *parent = nullptr);
    ~frmLogin() override;

    static frmLogin *instance();  // the loaded login window, or null
    static void unloadIfLoaded(); // used when the main window hides

  signals:
    void closedWithoutLogin();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    void createControls();
    void Form_Load();
    void OK_Click();
    void txtPass_Enter();
    void Command1_Click();
    // The password check of the OK button and the Enter key; trayShown
    // tells the tray whether to show itself until its first tick.
    void checkPassword(bool trayShown);

    varnel::AppWindows *windows_;
    SkinEngine BSE1;
    QLabel *Label3 = nullptr;
    QLineEdit *txtPass = nullptr;
    QPushButton *OK = nullptr;
    QPushButton *Command1 = nullptr;
    varnel::BannerView *brwWebBrowser = nullptr;
    bool bannerRequested_ = false;
    bool loggedIn_ = false;
};

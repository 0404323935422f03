#pragma once

#include <QWidget>

// The start-up password window.
class frmLogin : public QWidget {
    Q_OBJECT
public:
    explicit frmLogin(QWidget *parent = nullptr);
    ~frmLogin() override;

    static frmLogin *instance();   // the loaded login window, or null
    static void unloadIfLoaded();  // used when the main window hides
};

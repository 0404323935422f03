#pragma once

#include "skinengine.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel
{
class Autostart;
}

// The settings window: start-up password and autostart. Shown modally from
// the main window; every action that succeeds closes it.
class frmMMXG : public QDialog
{
    Q_OBJECT
  public:
    explicit frmMMXG(QWidget *parent = nullptr);
    ~frmMMXG() override;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    void createControls();
    void createPasswordControls();
    void createAutostartControls();
    void Form_Load();
    void cmdQDXG_Click();
    void Command1_Click();
    void Command2_Click();
    // Switches the logon entry and the auto column together; false (after
    // telling the user) when either could not be changed.
    bool switchAutostart(bool on);
    void showAutostartState(bool on);

    std::unique_ptr<varnel::Autostart> autostart_;
    SkinEngine BSE1;
    QLabel *Label1[2] = {};
    QLineEdit *txtXMM = nullptr;
    QLineEdit *txtQDMM = nullptr;
    QPushButton *cmdQDXG = nullptr;
    QLabel *Label2 = nullptr;
    QCheckBox *Command1 = nullptr;
    QCheckBox *Command2 = nullptr;
};

#pragma once

#include <QDialog>

// The settings window: start-up password and autostart. Shown modally from
// the main window.
class frmMMXG : public QDialog {
    Q_OBJECT
public:
    explicit frmMMXG(QWidget *parent = nullptr);
};

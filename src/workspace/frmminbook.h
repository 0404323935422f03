#pragma once

#include <QWidget>

// The main notes window.
class FrmMinBook : public QWidget {
    Q_OBJECT
public:
    explicit FrmMinBook(QWidget *parent = nullptr);
};

#pragma once

#include <QWidget>

// The reminder pop-up: slides up at the bottom right of the screen.
class FrmRing : public QWidget {
    Q_OBJECT
public:
    // Shows the one pop-up, loading it (with a new slide-in) when it is not loaded.
    static FrmRing *showRing();

private:
    explicit FrmRing(QWidget *parent = nullptr);
};

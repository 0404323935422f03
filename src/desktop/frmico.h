#pragma once

#include <QWidget>

// The tray window: never seen by the user; owns the tray icon and the global
// hot key for as long as the program runs.
class Frmico : public QWidget {
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
};

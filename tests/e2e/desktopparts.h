#pragma once

#include <QProcess>
#include <QRect>
#include <QString>

class PrivateBus;

// Desktop components of the journeys that need more than an X server: an
// Xfce panel with its system tray, and a KWin Wayland session.

// xfce4-panel along the top of the display with one plugin, the system tray
// (it hosts StatusNotifierItem and XEmbed icons), from a written
// configuration in the bus's home, for as long as the object lives. The bus
// must have Xfce's settings store (PrivateBus::Setup::xfconf).
class XfcePanel
{
  public:
    explicit XfcePanel(const PrivateBus &bus);
    ~XfcePanel();
    bool ok() const { return ok_; }
    // Where the tray's icons sit, on the display (empty before it is up).
    QRect area() const;

  private:
    QProcess process_;
    QString window_;
    bool ok_ = false;
};

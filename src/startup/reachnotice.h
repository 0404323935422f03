#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace varnel
{

// Tells the user, once per run for each, that the tray icon or the global hot
// key is missing, so nobody waits for a way back to a hidden window that does
// not exist.
class ReachNotice
{
  public:
    // The words for what is missing; empty when both work.
    static QString text(bool trayIcon, bool hotKey);
    // A modal message box, unless this was told before.
    static void tellOnce(QWidget *parent, bool trayIcon, bool hotKey);
    // The same without waiting for the user: the box stays up on its own
    // (give it no parent that may go before the user has read it). The box,
    // or null when this was told before.
    static QMessageBox *showOnce(QWidget *parent, bool trayIcon, bool hotKey);
    // Forgets what was told (a new run, as far as the notice goes).
    static void forget();

  private:
    static bool due(bool trayIcon, bool hotKey);
};

} // namespace varnel

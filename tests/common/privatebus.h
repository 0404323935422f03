#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A private D-Bus session bus with the desktop services a test asks for,
// started on demand by the bus as on a real desktop: the real
// xdg-desktop-portal, with the project's test backend for GlobalShortcuts
// behind it (tests/desktop/shortcutsbackend).
class PrivateBus
{
  public:
    struct Setup {
        bool portal = true;          // xdg-desktop-portal can be started
        bool globalShortcuts = true; // ... with a GlobalShortcuts backend
        uint bindResponse = 0;       // the backend's answer to BindShortcuts
    };

    explicit PrivateBus(const Setup &setup);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool ok() const { return ok_; }
    QString address() const { return address_; }
    // A connection of the test process to this bus, under its own name.
    QDBusConnection connection() const;

    // Starts a program that uses this bus; it is ended with the bus.
    bool startClient(const QString &program, const QStringList &arguments);
    // Whether a name has an owner on the bus, waiting up to ms for it.
    bool waitForName(const QString &name, int ms = 10000) const;
    // Ends the process that owns the name (the portal going away).
    bool stopOwner(const QString &name);

    // Asks the shortcuts backend to signal that the user pressed `id`; the
    // number of sessions told, -1 when the backend could not be asked.
    int press(const QString &id) const;
    // The shortcuts bound so far, as "id=preferred trigger".
    QString bound() const;

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    std::vector<std::unique_ptr<QProcess>> clients_;
    QString address_;
    QString connectionName_;
    bool ok_ = false;
};

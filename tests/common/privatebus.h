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
// behind it (tests/desktop/shortcutsbackend) or KDE's own (the Plasma portal
// backend and kglobalaccel, in a home folder of the bus's own).
class PrivateBus
{
  public:
    struct Setup {
        bool portal = true;          // xdg-desktop-portal can be started
        bool globalShortcuts = true; // ... with a GlobalShortcuts backend
        uint bindResponse = 0;       // the backend's answer to BindShortcuts
        int bindDelayMs = 0;         // ... given after this long
        bool kde = false;            // KDE's backend instead of the test one
        bool kglobalaccel = true;    // ... with kglobalaccel started by the bus
                                     // (false: a compositor brings its own)
        bool xfconf = false;         // Xfce's settings store (for its panel)
    };

    explicit PrivateBus(const Setup &setup);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool ok() const { return ok_; }
    QString address() const { return address_; }
    // A connection of the test process to this bus, under its own name.
    QDBusConnection connection() const;
    // Another connection to this bus, as a second run of a program has.
    QDBusConnection connection(const QString &name) const;
    // The environment of the services the bus starts, the bus's address
    // included: for desktop programs the test starts on it.
    QProcessEnvironment environment() const;
    // The configuration folder of the bus's home (KDE, Xfce).
    QString configHome() const { return dir_.filePath(QStringLiteral("home/.config")); }

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

    // KDE: the addresses opened with xdg-open (System Settings' pages).
    QStringList opened() const;
    // KDE: kglobalaccel's components, as object paths.
    QStringList components() const;
    // KDE: kglobalaccel's own way of pressing a shortcut; false when it refused.
    bool invokeShortcut(const QString &componentPath, const QString &action) const;
    // KDE: the keys kglobalaccel holds for an action of a component.
    QList<int> keysOf(const QString &component, const QString &action) const;

  private:
    void setUpKde(const Setup &setup);
    void setUpHome();
    void endServices();

    QTemporaryDir dir_;
    QProcessEnvironment env_;
    QProcess daemon_;
    std::vector<std::unique_ptr<QProcess>> clients_;
    QString address_;
    QString connectionName_;
    mutable QStringList otherConnections_;
    bool ok_ = false;
};

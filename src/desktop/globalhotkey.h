#pragma once

#include <QObject>
#include <QString>

#include <memory>

// The notebook's system-wide hot key, Ctrl + the main keyboard's 1 (not the
// numeric pad's). Each way of getting such a key has its own backend in its
// own file (globalhotkey_<kind>.cpp); create() picks them for the running
// session and falls back to an inert key where there is none.
class GlobalHotKey : public QObject
{
    Q_OBJECT
  public:
    // X11 grab on a real X server; the desktop portal on a Wayland session
    // (XWayland included) and wherever the X11 grab is refused; none elsewhere.
    static std::unique_ptr<GlobalHotKey> create(QObject *parent = nullptr);

    ~GlobalHotKey() override = default;

    // Takes the key for this program, or asks the desktop for it. True when
    // the key is held now; false, quietly, when it is not (yet): no display,
    // another program holds the key, or the answer is still on its way
    // (isPending(), then stateChanged()).
    virtual bool grab() = 0;
    // Gives the key back; harmless when it is not held.
    virtual void release() = 0;
    virtual bool isActive() const = 0;
    // Asked for and not answered yet.
    virtual bool isPending() const { return false; }
    // The key as the desktop names it: "Ctrl+1", unless the desktop bound
    // another one for the program.
    virtual QString keyName() const { return QStringLiteral("Ctrl+1"); }

  signals:
    // The key was pressed, with Ctrl and without Shift, Alt or Super.
    void activated();
    // isActive() or isPending() changed.
    void stateChanged();

  protected:
    using QObject::QObject;
};

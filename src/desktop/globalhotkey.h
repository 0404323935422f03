#pragma once

#include <QObject>

#include <memory>

// The notebook's system-wide hot key, Ctrl + the main keyboard's 1 (not the
// numeric pad's). Each windowing system has its own backend in its own file
// (globalhotkey_<system>.cpp); create() picks the one for the running platform
// and falls back to an inert key where there is none.
class GlobalHotKey : public QObject
{
    Q_OBJECT
  public:
    static std::unique_ptr<GlobalHotKey> create(QObject *parent = nullptr);

    ~GlobalHotKey() override = default;

    // Takes the key for this program. False, quietly, when it cannot: no
    // display, or another program already holds the key.
    virtual bool grab() = 0;
    // Gives the key back; harmless when it is not held.
    virtual void release() = 0;
    virtual bool isActive() const = 0;

  signals:
    // The key was pressed, with Ctrl and without Shift, Alt or Super.
    void activated();

  protected:
    using QObject::QObject;
};

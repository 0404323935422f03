#include "globalhotkey.h"

#include <QGuiApplication>

// Backends, one file each.
std::unique_ptr<GlobalHotKey> makeX11HotKey(QObject *parent); // globalhotkey_x11.cpp

namespace
{

// Where the platform offers no global key: never active, never fires.
class InertHotKey : public GlobalHotKey
{
  public:
    explicit InertHotKey(QObject *parent) : GlobalHotKey(parent) {}
    bool grab() override { return false; }
    void release() override {}
    bool isActive() const override { return false; }
};

} // namespace

std::unique_ptr<GlobalHotKey> GlobalHotKey::create(QObject *parent)
{
    const QString platform = QGuiApplication::platformName();
    if (platform.compare(QLatin1String("xcb"), Qt::CaseInsensitive) == 0)
        return makeX11HotKey(parent);
    return std::make_unique<InertHotKey>(parent);
}

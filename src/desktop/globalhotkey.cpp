#include "globalhotkey.h"

#include "globalhotkeybackends.h"

#include <QGuiApplication>

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

// The key of a desktop session: the X11 grab where there is a real X server,
// else (or when another program holds the grab) the desktop portal.
class SessionHotKey : public GlobalHotKey
{
  public:
    SessionHotKey(std::unique_ptr<GlobalHotKey> x11, std::unique_ptr<GlobalHotKey> portal,
                  QObject *parent)
        : GlobalHotKey(parent), x11_(std::move(x11)), portal_(std::move(portal))
    {
        for (GlobalHotKey *backend : {x11_.get(), portal_.get()}) {
            if (!backend)
                continue;
            connect(backend, &GlobalHotKey::activated, this, &GlobalHotKey::activated);
            connect(backend, &GlobalHotKey::stateChanged, this, &GlobalHotKey::stateChanged);
        }
    }

    bool grab() override
    {
        if (isActive())
            return true;
        if (x11_ && x11_->grab()) {
            // Held by the grab: a portal binding still being asked for is not needed.
            if (portal_ && portal_->isPending())
                portal_->release();
            return true;
        }
        return portal_ && !portal_->isPending() && portal_->grab();
    }

    void release() override
    {
        if (x11_)
            x11_->release();
        if (portal_)
            portal_->release();
    }

    bool isActive() const override { return active() != nullptr; }
    bool isPending() const override { return !isActive() && portal_ && portal_->isPending(); }
    QString keyName() const override
    {
        const GlobalHotKey *held = active();
        return held ? held->keyName() : GlobalHotKey::keyName();
    }

  private:
    const GlobalHotKey *active() const
    {
        if (x11_ && x11_->isActive())
            return x11_.get();
        if (portal_ && portal_->isActive())
            return portal_.get();
        return nullptr;
    }

    std::unique_ptr<GlobalHotKey> x11_;
    std::unique_ptr<GlobalHotKey> portal_;
};

} // namespace

std::unique_ptr<GlobalHotKey> makeSessionHotKey(std::unique_ptr<GlobalHotKey> x11,
                                                std::unique_ptr<GlobalHotKey> portal,
                                                QObject *parent)
{
    return std::make_unique<SessionHotKey>(std::move(x11), std::move(portal), parent);
}

std::unique_ptr<GlobalHotKey> GlobalHotKey::create(QObject *parent)
{
    const QString platform = QGuiApplication::platformName();
    const bool x11 = platform.compare(QLatin1String("xcb"), Qt::CaseInsensitive) == 0;
    const bool wayland = platform.startsWith(QLatin1String("wayland"), Qt::CaseInsensitive);
    if (!x11 && !wayland)
        return std::make_unique<InertHotKey>(parent);
    std::unique_ptr<GlobalHotKey> grab;
    if (x11 && !runsOnXWayland())
        grab = makeX11HotKey();
    return makeSessionHotKey(std::move(grab), makePortalHotKey(QDBusConnection::sessionBus()),
                             parent);
}

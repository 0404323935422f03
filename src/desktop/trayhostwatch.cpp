#include "trayhostwatch.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace
{
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// An XEmbed tray announces itself with a message our connection may not be
// asked to receive; looking every so often is cheap and certain.
constexpr int kXEmbedPollMs = 1500;
} // namespace

TrayHostWatch::TrayHostWatch(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), bus_(bus)
{
}

bool TrayHostWatch::statusNotifierHost() const
{
    if (!bus_.isConnected() || !bus_.interface()->isServiceRegistered(kWatcher))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({kWatcher, QStringLiteral("IsStatusNotifierHostRegistered")});
    const QDBusMessage reply = bus_.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

bool TrayHostWatch::xembedTray()
{
    return xembedTrayRunning();
}

void TrayHostWatch::watch()
{
    if (watching_)
        return;
    watching_ = true;
    if (bus_.isConnected()) {
        watcher_ = new QDBusServiceWatcher(kWatcher, bus_,
                                           QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, &TrayHostWatch::check);
        bus_.connect(kWatcher, kWatcherPath, kWatcher,
                     QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(check()));
    }
    poll_ = new QTimer(this);
    poll_->setInterval(kXEmbedPollMs);
    connect(poll_, &QTimer::timeout, this, &TrayHostWatch::check);
    poll_->start();
    check();
}

void TrayHostWatch::check()
{
    if (!watching_ || !hostRunning())
        return;
    watching_ = false;
    poll_->stop();
    if (watcher_)
        watcher_->setWatchedServices({});
    bus_.disconnect(kWatcher, kWatcherPath, kWatcher,
                    QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(check()));
    emit hostAppeared();
}

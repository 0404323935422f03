// A desktop's side of the GlobalShortcuts portal for the tests: implements
// org.freedesktop.impl.portal.GlobalShortcuts for the real xdg-desktop-portal,
// the way a desktop (KDE's kglobalaccel, GNOME Shell) does, minus the keyboard.
// Shortcuts are bound with their preferred trigger, or refused with the
// response code in VARNEL_TEST_BIND_RESPONSE, after VARNEL_TEST_BIND_DELAY_MS
// (a desktop that takes its time, asking the user). The tests drive it through
// org.varnel.test.Shortcuts on /org/varnel/test: Press(id) sends Activated as
// if the user had pressed the shortcut; Bound() tells what was bound.

#include "portalshortcut.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QMap>
#include <QTimer>

using Shortcut = PortalShortcut;

namespace
{
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kImpl = QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts");
const QString kSession = QStringLiteral("org.freedesktop.impl.portal.Session");

// "CTRL+1" as a desktop would show it.
QString describe(const QString &trigger)
{
    return trigger.compare(QLatin1String("CTRL+1"), Qt::CaseInsensitive) == 0
               ? QStringLiteral("Ctrl+1")
               : trigger;
}
} // namespace

class Backend : public QDBusVirtualObject
{
  public:
    Backend(uint bindResponse, int bindDelayMs)
        : bindResponse_(bindResponse), bindDelayMs_(bindDelayMs)
    {
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString member = message.member();
        const QList<QVariant> args = message.arguments();
        if (message.interface() == kSession && member == QLatin1String("Close")) {
            sessions_.remove(message.path());
            connection.send(message.createReply());
            return true;
        }
        if (message.interface() != kImpl)
            return false;
        if (member == QLatin1String("CreateSession")) {
            sessions_.insert(args.value(1).value<QDBusObjectPath>().path(), {});
            connection.send(message.createReply({0u, QVariantMap()}));
            return true;
        }
        if (member == QLatin1String("BindShortcuts"))
            return bind(message, connection);
        if (member == QLatin1String("ListShortcuts")) {
            const QList<Shortcut> list =
                sessions_.value(args.value(1).value<QDBusObjectPath>().path());
            connection.send(message.createReply(
                {0u, QVariantMap{{QStringLiteral("shortcuts"), QVariant::fromValue(list)}}}));
            return true;
        }
        return false;
    }

    // Activated for every session that bound `id`.
    int press(const QString &id)
    {
        int sent = 0;
        for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it) {
            for (const Shortcut &shortcut : it.value()) {
                if (shortcut.id != id)
                    continue;
                QDBusMessage signal =
                    QDBusMessage::createSignal(kPortalPath, kImpl, QStringLiteral("Activated"));
                signal << QVariant::fromValue(QDBusObjectPath(it.key())) << id
                       << qulonglong(QDateTime::currentMSecsSinceEpoch()) << QVariantMap();
                QDBusConnection::sessionBus().send(signal);
                ++sent;
            }
        }
        return sent;
    }

    QString bound() const { return bound_; }

  private:
    bool bind(const QDBusMessage &message, const QDBusConnection &connection)
    {
        const QString session = message.arguments().value(1).value<QDBusObjectPath>().path();
        QList<Shortcut> asked;
        message.arguments().value(2).value<QDBusArgument>() >> asked;
        QStringList what;
        for (Shortcut &shortcut : asked) {
            const QString trigger =
                shortcut.options.value(QStringLiteral("preferred_trigger")).toString();
            what << shortcut.id + QLatin1Char('=') + trigger;
            shortcut.options = {{QStringLiteral("description"),
                                 shortcut.options.value(QStringLiteral("description"))},
                                {QStringLiteral("trigger_description"), describe(trigger)}};
        }
        bound_ = what.join(QLatin1Char(','));
        message.setDelayedReply(true);
        const QDBusMessage reply =
            bindResponse_ != 0
                ? message.createReply({bindResponse_, QVariantMap()})
                : message.createReply(
                      {0u, QVariantMap{{QStringLiteral("shortcuts"), QVariant::fromValue(asked)}}});
        // Bound once answered.
        QTimer::singleShot(bindDelayMs_, [this, connection, reply, session, asked]() mutable {
            if (bindResponse_ == 0)
                sessions_.insert(session, asked);
            connection.send(reply);
        });
        return true;
    }

    uint bindResponse_;
    int bindDelayMs_;
    QMap<QString, QList<Shortcut>> sessions_;
    QString bound_;
};

class Control : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.varnel.test.Shortcuts")
  public:
    Control(QObject *holder, Backend *backend) : QDBusAbstractAdaptor(holder), backend_(backend) {}

  public slots:
    int Press(const QString &id) { return backend_->press(id); }
    QString Bound() { return backend_->bound(); }

  private:
    Backend *backend_;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    Backend backend(qEnvironmentVariableIntValue("VARNEL_TEST_BIND_RESPONSE"),
                    qEnvironmentVariableIntValue("VARNEL_TEST_BIND_DELAY_MS"));
    QObject holder;
    new Control(&holder, &backend);
    if (!bus.registerVirtualObject(kPortalPath, &backend, QDBusConnection::SubPath))
        return 2;
    if (!bus.registerObject(QStringLiteral("/org/varnel/test"), &holder,
                            QDBusConnection::ExportAdaptors))
        return 3;
    if (!bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.varneltest")))
        return 4;
    // Started by the test's bus: ends with it.
    QTimer busGone;
    QObject::connect(&busGone, &QTimer::timeout, &app, [&bus] {
        if (!bus.isConnected())
            QCoreApplication::quit();
    });
    busGone.start(500);
    return app.exec();
}

#include "main.moc"

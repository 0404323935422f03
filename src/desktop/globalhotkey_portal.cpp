// The hot key through the XDG desktop portal's GlobalShortcuts interface (KDE
// Plasma, GNOME, Hyprland and others): the program asks the desktop for one
// shortcut with Ctrl+1 as its preferred trigger; the desktop binds it (maybe
// after asking the user) and signals Activated whenever it is pressed, whichever
// window has the focus. Every step is a D-Bus request answered later by a
// Response signal, so grab() only starts the conversation: the answer comes
// with stateChanged().

#include "globalhotkey.h"
#include "globalhotkeybackends.h"
#include "portalshortcut.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QSignalBlocker>

#include <functional>

namespace
{

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kShortcutId = QStringLiteral("show-main-window");

// Response codes of a portal request.
constexpr uint kSuccess = 0;
constexpr uint kCancelledByUser = 1;

} // namespace

namespace
{

class PortalHotKey : public GlobalHotKey
{
    Q_OBJECT
  public:
    PortalHotKey(const QDBusConnection &bus, QObject *parent);
    ~PortalHotKey() override
    {
        const QSignalBlocker quiet(this);
        release();
    }

    bool grab() override;
    void release() override;
    bool isActive() const override { return step_ == Step::Bound; }
    bool isPending() const override { return step_ != Step::Idle && step_ != Step::Bound; }
    QString keyName() const override
    {
        return keyName_.isEmpty() ? GlobalHotKey::keyName() : keyName_;
    }

  private slots:
    void requestAnswered(uint response, const QVariantMap &results);
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    void shortcutActivated(const QDBusMessage &message);
    void sessionClosed();
    void portalLeft();
    void portalCame();

  private:
    enum class Step { Idle, AskingVersion, CreatingSession, Binding, Bound };

    void setStep(Step step);
    void askVersion();
    void createSession();
    void bindShortcut();
    void fail(uint response);
    QString newToken(const char *kind);
    QString requestPath(const QString &token) const;
    void listenToRequest(const QString &path);
    void stopListening();
    void forgetSession();
    // Calls a method of the portal; `then` gets the reply unless it failed.
    void call(const QString &method, const QVariantList &arguments,
              const std::function<void(const QDBusMessage &)> &then);

    QDBusConnection bus_;
    QDBusServiceWatcher portalWatch_;
    Step step_ = Step::Idle;
    QString request_; // path of the request whose Response is awaited
    QString session_;
    QString keyName_;
    int tokens_ = 0;
    bool refusedByUser_ = false;
    bool rebindWhenBack_ = false;
};

PortalHotKey::PortalHotKey(const QDBusConnection &bus, QObject *parent)
    : GlobalHotKey(parent), bus_(bus), portalWatch_(kService, bus,
                                                    QDBusServiceWatcher::WatchForRegistration |
                                                        QDBusServiceWatcher::WatchForUnregistration)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    connect(&portalWatch_, &QDBusServiceWatcher::serviceUnregistered, this,
            &PortalHotKey::portalLeft);
    connect(&portalWatch_, &QDBusServiceWatcher::serviceRegistered, this,
            &PortalHotKey::portalCame);
    if (bus_.isConnected()) {
        bus_.connect(kService, kPath, kShortcuts, QStringLiteral("Activated"), this,
                     SLOT(shortcutActivated(QDBusMessage)));
    }
}

void PortalHotKey::setStep(Step step)
{
    if (step_ == step)
        return;
    step_ = step;
    emit stateChanged();
}

bool PortalHotKey::grab()
{
    if (step_ == Step::Bound)
        return true;
    // Asking again while the desktop is asking the user, or after the user
    // said no, would only pester the user.
    if (step_ != Step::Idle || refusedByUser_ || !bus_.isConnected())
        return false;
    askVersion();
    return false;
}

void PortalHotKey::release()
{
    rebindWhenBack_ = false;
    stopListening();
    forgetSession();
    keyName_.clear();
    setStep(Step::Idle);
}

QString PortalHotKey::newToken(const char *kind)
{
    return QStringLiteral("varnel_%1%2").arg(QLatin1String(kind)).arg(++tokens_);
}

QString PortalHotKey::requestPath(const QString &token) const
{
    // The portal names a request after the caller's unique name (":1.42"
    // becomes "1_42") and the token it was given.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void PortalHotKey::listenToRequest(const QString &path)
{
    stopListening();
    request_ = path;
    bus_.connect(kService, request_, kRequest, QStringLiteral("Response"), this,
                 SLOT(requestAnswered(uint, QVariantMap)));
}

void PortalHotKey::stopListening()
{
    if (request_.isEmpty())
        return;
    bus_.disconnect(kService, request_, kRequest, QStringLiteral("Response"), this,
                    SLOT(requestAnswered(uint, QVariantMap)));
    request_.clear();
}

void PortalHotKey::forgetSession()
{
    if (session_.isEmpty())
        return;
    bus_.disconnect(kService, session_, kSession, QStringLiteral("Closed"), this,
                    SLOT(sessionClosed()));
    bus_.send(
        QDBusMessage::createMethodCall(kService, session_, kSession, QStringLiteral("Close")));
    session_.clear();
}

void PortalHotKey::call(const QString &method, const QVariantList &arguments,
                        const std::function<void(const QDBusMessage &)> &then)
{
    const bool properties = method == QLatin1String("Get");
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPath,
        properties ? QStringLiteral("org.freedesktop.DBus.Properties") : kShortcuts, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    const Step asked = step_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then, asked](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (step_ != asked) // released or restarted meanwhile
                    return;
                if (finished->isError())
                    fail(2);
                else
                    then(finished->reply());
            });
}

void PortalHotKey::askVersion()
{
    // A portal without the interface (an older one, or a desktop without a
    // backend for it) answers with an error here.
    setStep(Step::AskingVersion);
    call(QStringLiteral("Get"), {kShortcuts, QStringLiteral("version")},
         [this](const QDBusMessage &) { createSession(); });
}

void PortalHotKey::createSession()
{
    setStep(Step::CreatingSession);
    const QString token = newToken("session");
    listenToRequest(requestPath(token));
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("session_handle_token"), newToken("s")}};
    call(QStringLiteral("CreateSession"), {options}, [this](const QDBusMessage &reply) {
        // A portal older than the naming rule answers with another path.
        const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (!path.isEmpty() && path != request_)
            listenToRequest(path);
    });
}

void PortalHotKey::bindShortcut()
{
    setStep(Step::Binding);
    const QString token = newToken("bind");
    listenToRequest(requestPath(token));
    const PortalShortcut shortcut{
        kShortcutId,
        {{QStringLiteral("description"), QStringLiteral("呼叫Varnel主窗口")},
         {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+1")}}};
    const QVariantMap options{{QStringLiteral("handle_token"), token}};
    call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(session_)),
          QVariant::fromValue(QList<PortalShortcut>{shortcut}), QString(), options},
         [this](const QDBusMessage &reply) {
             const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
             if (!path.isEmpty() && path != request_)
                 listenToRequest(path);
         });
}

void PortalHotKey::requestAnswered(uint response, const QVariantMap &results)
{
    stopListening();
    if (response != kSuccess) {
        fail(response);
        return;
    }
    if (step_ == Step::CreatingSession) {
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                        : handle.toString();
        if (session_.isEmpty()) {
            fail(2);
            return;
        }
        bus_.connect(kService, session_, kSession, QStringLiteral("Closed"), this,
                     SLOT(sessionClosed()));
        bindShortcut();
        return;
    }
    if (step_ != Step::Binding)
        return;
    QList<PortalShortcut> bound;
    const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
    if (shortcuts.canConvert<QDBusArgument>())
        shortcuts.value<QDBusArgument>() >> bound;
    for (const PortalShortcut &shortcut : std::as_const(bound)) {
        if (shortcut.id != kShortcutId)
            continue;
        keyName_ = shortcut.options.value(QStringLiteral("trigger_description")).toString();
        rebindWhenBack_ = true;
        setStep(Step::Bound);
        return;
    }
    fail(2); // bound, but not our shortcut: no key
}

void PortalHotKey::fail(uint response)
{
    refusedByUser_ = response == kCancelledByUser;
    stopListening();
    forgetSession();
    keyName_.clear();
    setStep(Step::Idle);
}

void PortalHotKey::shortcutActivated(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    const QString session = arguments.value(0).value<QDBusObjectPath>().path();
    if (step_ == Step::Bound && session == session_ && arguments.value(1).toString() == kShortcutId)
        emit activated();
}

void PortalHotKey::sessionClosed()
{
    session_.clear();
    fail(2);
}

void PortalHotKey::portalLeft()
{
    // Its sessions went with it.
    const bool rebind = rebindWhenBack_;
    stopListening();
    session_.clear();
    keyName_.clear();
    setStep(Step::Idle);
    rebindWhenBack_ = rebind;
}

void PortalHotKey::portalCame()
{
    if (rebindWhenBack_ && step_ == Step::Idle)
        grab();
}

} // namespace

std::unique_ptr<GlobalHotKey> makePortalHotKey(const QDBusConnection &bus, QObject *parent)
{
    return std::make_unique<PortalHotKey>(bus, parent);
}

#include "globalhotkey_portal.moc"

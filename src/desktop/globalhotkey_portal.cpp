// The hot key through the XDG desktop portal's GlobalShortcuts interface (KDE
// Plasma, GNOME, Hyprland and others): the program asks the desktop for one
// shortcut with Ctrl+1 as its preferred trigger; the desktop binds it (maybe
// after asking the user) and signals Activated whenever it is pressed, whichever
// window has the focus. Every step is a D-Bus request answered later by a
// Response signal, so grab() only starts the conversation: the answer comes
// with stateChanged().
//
// Desktops differ in where they take the shortcut: KDE registers it from
// CreateSession's options and answers BindShortcuts by opening its System
// Settings; others (GNOME) bind it only through BindShortcuts. So the shortcut
// goes with CreateSession, and BindShortcuts follows only when the session's
// answer does not list it bound, once per run. The session lives for the
// whole run under a fixed token, which desktops use to name the program's
// shortcuts: a key the user picks in the desktop's settings stays with it
// across runs.

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

#include <algorithm>
#include <functional>

namespace
{

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kShortcutId = QStringLiteral("show-main-window");
// The session's token: the same in every run, see above. KDE names the
// program's shortcuts in kglobalaccel after it.
const QString kSessionToken = QStringLiteral("varnelpad");
const QString kKGlobalAccel = QStringLiteral("org.kde.kglobalaccel");

// Response codes of a portal request.
constexpr uint kSuccess = 0;
constexpr uint kCancelledByUser = 1;

} // namespace

namespace
{

PortalShortcut shortcut()
{
    return {kShortcutId,
            {{QStringLiteral("description"), QStringLiteral("呼叫Varnel主窗口")},
             {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+1")}}};
}

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
    bool isPending() const override
    {
        return step_ != Step::Idle && step_ != Step::Bound && step_ != Step::Unbound;
    }
    QString keyName() const override
    {
        return keyName_.isEmpty() ? GlobalHotKey::keyName() : keyName_;
    }

  private slots:
    void requestAnswered(uint response, const QVariantMap &results);
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    void shortcutActivated(const QDBusMessage &message);
    // ShortcutsChanged(o session_handle, a(sa{sv}) shortcuts): the user
    // changed the key in the desktop's settings.
    void shortcutsChanged(const QDBusMessage &message);
    void sessionClosed();
    void portalLeft();
    void portalCame();

  private:
    // Unbound: the session is open but holds no key for the shortcut (the
    // user took it away, or the desktop gave none); it may come later.
    enum class Step { Idle, AskingVersion, CreatingSession, Binding, Bound, Unbound };

    void setStep(Step step);
    void askVersion();
    void createSession();
    void bindShortcut();
    // Our shortcut in a list from the desktop: bound (with a key) or not.
    struct Listed {
        bool bound = false;
        QString keyName;
    };
    static Listed listedIn(const QVariant &shortcuts);
    void sessionAnswered(const QVariantMap &results);
    void notBoundBySession();
    void bindingAnswered(const QVariantMap &results);
    void confirmKey(const std::function<void(bool held)> &then);
    // Bound or Unbound, as the desktop listed it.
    void take(const Listed &listed);
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
    // grab() was called and not undone by release().
    bool wanted_ = false;
    // The portal has answered since it was last (re)started: asking again
    // before it restarts would get the same answer.
    bool answered_ = false;
    // BindShortcuts came back without binding the shortcut: on KDE it opens
    // System Settings, so it is not sent again in this run.
    bool bindFruitless_ = false;
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
        bus_.connect(kService, kPath, kShortcuts, QStringLiteral("ShortcutsChanged"), this,
                     SLOT(shortcutsChanged(QDBusMessage)));
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
    wanted_ = true;
    // Asking again while the desktop is asking the user, after the user said
    // no, or while the session is open would only pester the user; the
    // desktop says when the key comes (ShortcutsChanged) or the portal
    // restarts.
    if (step_ != Step::Idle || answered_ || refusedByUser_ || !bus_.isConnected())
        return false;
    askVersion();
    return false;
}

void PortalHotKey::release()
{
    wanted_ = false;
    answered_ = false;
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
                if (finished->isError()) {
                    answered_ = true; // no portal, or one without the interface
                    fail(2);
                } else {
                    then(finished->reply());
                }
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
    const QVariantMap options{
        {QStringLiteral("handle_token"), token},
        {QStringLiteral("session_handle_token"), kSessionToken},
        {QStringLiteral("shortcuts"), QVariant::fromValue(QList<PortalShortcut>{shortcut()})}};
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
    const QVariantMap options{{QStringLiteral("handle_token"), token}};
    call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(session_)),
          QVariant::fromValue(QList<PortalShortcut>{shortcut()}), QString(), options},
         [this](const QDBusMessage &reply) {
             const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
             if (!path.isEmpty() && path != request_)
                 listenToRequest(path);
         });
}

void PortalHotKey::requestAnswered(uint response, const QVariantMap &results)
{
    stopListening();
    answered_ = true;
    if (response != kSuccess) {
        bindFruitless_ = bindFruitless_ || step_ == Step::Binding;
        fail(response);
        return;
    }
    if (step_ == Step::CreatingSession)
        sessionAnswered(results);
    else if (step_ == Step::Binding)
        bindingAnswered(results);
}

void PortalHotKey::sessionAnswered(const QVariantMap &results)
{
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                    : handle.toString();
    if (session_.isEmpty()) {
        fail(2);
        return;
    }
    bus_.connect(kService, session_, kSession, QStringLiteral("Closed"), this,
                 SLOT(sessionClosed()));
    const Listed listed = listedIn(results.value(QStringLiteral("shortcuts")));
    if (!listed.bound) {
        notBoundBySession();
        return;
    }
    confirmKey([this, listed](bool held) {
        if (held)
            take(listed);
        else
            notBoundBySession();
    });
}

// Not bound by the session alone: this desktop binds through BindShortcuts,
// or has no key for the shortcut yet.
void PortalHotKey::notBoundBySession()
{
    if (!bindFruitless_)
        bindShortcut();
    else
        take({});
}

void PortalHotKey::bindingAnswered(const QVariantMap &results)
{
    const Listed listed = listedIn(results.value(QStringLiteral("shortcuts")));
    confirmKey([this, listed](bool held) {
        bindFruitless_ = !(listed.bound && held);
        take(held ? listed : Listed{});
    });
}

PortalHotKey::Listed PortalHotKey::listedIn(const QVariant &shortcuts)
{
    QList<PortalShortcut> entries;
    if (shortcuts.canConvert<QDBusArgument>())
        shortcuts.value<QDBusArgument>() >> entries;
    for (const PortalShortcut &entry : std::as_const(entries)) {
        if (entry.id != kShortcutId)
            continue;
        // A desktop that names no trigger for a listed shortcut holds no key
        // for it; one that gives no description at all is taken at its word.
        const auto trigger = entry.options.constFind(QStringLiteral("trigger_description"));
        if (trigger == entry.options.cend())
            return {true, QString()};
        const QString name = trigger->toString().trimmed();
        return {!name.isEmpty(), name};
    }
    return {};
}

void PortalHotKey::take(const Listed &listed)
{
    const QString before = keyName_;
    keyName_ = listed.bound ? listed.keyName : QString();
    const Step step = listed.bound ? Step::Bound : Step::Unbound;
    if (step == step_ && keyName_ != before)
        emit stateChanged(); // another key now: the tip names it
    setStep(step);
}

// KDE's backend describes the trigger it asked kglobalaccel for, also when
// kglobalaccel gave that key to another program's shortcut and ours got
// none: where kglobalaccel is on the bus and knows the shortcut, it is asked.
void PortalHotKey::confirmKey(const std::function<void(bool held)> &then)
{
    if (!bus_.interface()->isServiceRegistered(kKGlobalAccel)) {
        then(true);
        return;
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(
        kKGlobalAccel, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"),
        QStringLiteral("shortcut"));
    ask << QStringList{kSessionToken, kShortcutId, kSessionToken, kShortcutId};
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
    const Step asked = step_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then, asked](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (step_ != asked)
                    return;
                const QDBusPendingReply<QList<int>> keys = *finished;
                // Unknown to kglobalaccel (another name, another version):
                // the portal's word stands.
                if (keys.isError() || keys.value().isEmpty()) {
                    then(true);
                    return;
                }
                const QList<int> held = keys.value();
                then(std::any_of(held.begin(), held.end(), [](int key) { return key != 0; }));
            });
}

void PortalHotKey::fail(uint response)
{
    refusedByUser_ = response == kCancelledByUser;
    stopListening();
    forgetSession();
    keyName_.clear();
    setStep(Step::Idle);
}

void PortalHotKey::shortcutsChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (session_.isEmpty() || (step_ != Step::Bound && step_ != Step::Unbound) ||
        arguments.value(0).value<QDBusObjectPath>().path() != session_)
        return;
    take(listedIn(arguments.value(1)));
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
    // Closed by the desktop: a later grab() may open the session again.
    session_.clear();
    fail(2);
    answered_ = false;
}

void PortalHotKey::portalLeft()
{
    // Its sessions went with it.
    stopListening();
    session_.clear();
    keyName_.clear();
    answered_ = false;
    setStep(Step::Idle);
}

void PortalHotKey::portalCame()
{
    answered_ = false;
    if (wanted_ && step_ == Step::Idle)
        grab();
}

} // namespace

std::unique_ptr<GlobalHotKey> makePortalHotKey(const QDBusConnection &bus, QObject *parent)
{
    return std::make_unique<PortalHotKey>(bus, parent);
}

#include "globalhotkey_portal.moc"

#include "window/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <map>
#include <utility>

// DesktopNotifier elsewhere: freedesktop.org Notifications over the session bus.

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}
} // namespace

// A QObject of its own: the bus delivers the service's ActionInvoked signal to
// a slot named by its signature. Its messages keep the notifier's context for
// their translations.
struct DesktopNotifier::Platform : public QObject
{
    Q_OBJECT

public:
    explicit Platform(DesktopNotifier &notifier)
        : m_notifier(notifier)
    { }

    void show(quint64 purge, const QString &body);
    void forget(quint64 purge);
    void withdraw(quint64 purge);

private:
    struct Shown
    {
        uint id = 0;            // the service's id, once it has answered
        bool sending = false;   // a Notify call is on its way
        QString pending;        // a body to send once it has answered
        bool failed = false;    // said so once; nothing more is sent for it
        bool withdrawn = false; // to be closed as soon as its id arrives
    };
    void failed(quint64 purge, const QString &why);
    void close(uint id);
    // Connects to the session bus and the service's signal; false without a bus.
    bool connectOnce();
    void send(quint64 purge, const QString &body);
    void sent(quint64 purge, QDBusPendingCallWatcher *call);

private slots:
    void actionInvoked(uint id, const QString &action);
    void capabilities(QDBusPendingCallWatcher *call);

private:
    DesktopNotifier &m_notifier;
    std::map<quint64, Shown> m_shown;
    bool m_connected = false;
    // Servers that read markup in the body get it escaped (a server name may
    // hold "<" or "&"); most do, so until they have said otherwise it is.
    bool m_escape = true;
};

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
    , m_platform(std::make_unique<Platform>(*this))
{ }

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::show(quint64 purge, const QString &body)
{
    m_platform->show(purge, body);
}

void DesktopNotifier::forget(quint64 purge)
{
    m_platform->forget(purge);
}

void DesktopNotifier::withdraw(quint64 purge)
{
    m_platform->withdraw(purge);
}

void DesktopNotifier::Platform::failed(quint64 purge, const QString &why)
{
    Shown &shown = m_shown[purge];
    if (std::exchange(shown.failed, true))
        return;
    shown.pending.clear();
    warn(why);
}

bool DesktopNotifier::Platform::connectOnce()
{
    // Only once there is something to say: the window opens without waiting
    // for the bus.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_connected || !bus.isConnected())
        return bus.isConnected();
    m_connected = true;
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &Platform::capabilities);
    return true;
}

void DesktopNotifier::Platform::capabilities(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    if (!reply.isError())
        m_escape = reply.value().contains(QStringLiteral("body-markup"));
}

void DesktopNotifier::Platform::show(quint64 purge, const QString &body)
{
    Shown &shown = m_shown[purge];
    if (shown.failed || shown.withdrawn)
        return;
    // One call at a time per notification: the next one needs the id the
    // service gives back, or it would open a second notification.
    if (shown.sending) {
        shown.pending = body;
        return;
    }
    send(purge, body);
}

void DesktopNotifier::Platform::send(quint64 purge, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connectOnce())
        return failed(purge, DesktopNotifier::tr("there is no session bus (%1)").arg(bus.lastError().message()));
    Shown &shown = m_shown[purge];
    QDBusMessage notify = call(QStringLiteral("Notify"));
    notify << title() << shown.id << QString() << title() << (m_escape ? body.toHtmlEscaped() : body)
           << QStringList{QStringLiteral("default"), DesktopNotifier::tr("Show results")} << QVariantMap() << -1;
    shown.sending = true;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, purge](QDBusPendingCallWatcher *call) { sent(purge, call); });
}

void DesktopNotifier::Platform::sent(quint64 purge, QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const auto found = m_shown.find(purge);
    if (found == m_shown.end())
        return; // forgotten meanwhile
    Shown &shown = found->second;
    shown.sending = false;
    const QDBusPendingReply<uint> reply = *call;
    if (shown.withdrawn) {
        // Withdrawn while the service was still answering: only now is there
        // an id to close it by.
        if (!reply.isError())
            close(reply.value());
        m_shown.erase(found);
        return;
    }
    if (reply.isError())
        return failed(purge, reply.error().message());
    shown.id = reply.value();
    if (!shown.pending.isEmpty())
        send(purge, std::exchange(shown.pending, QString()));
}

void DesktopNotifier::Platform::forget(quint64 purge)
{
    m_shown.erase(purge);
}

void DesktopNotifier::Platform::withdraw(quint64 purge)
{
    const auto found = m_shown.find(purge);
    if (found == m_shown.end())
        return;
    Shown &shown = found->second;
    if (shown.sending) {
        shown.withdrawn = true;
        shown.pending.clear();
        return;
    }
    if (shown.id != 0)
        close(shown.id);
    m_shown.erase(found);
}

void DesktopNotifier::Platform::close(uint id)
{
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
}

void DesktopNotifier::Platform::actionInvoked(uint id, const QString &action)
{
    if (action != QStringLiteral("default") || id == 0)
        return;
    for (const auto &[purge, shown] : m_shown) {
        if (shown.id == id) {
            emit m_notifier.resultsWanted(purge);
            return;
        }
    }
}

#include "desktopnotifier_unix.moc"

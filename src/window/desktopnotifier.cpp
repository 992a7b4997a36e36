#include "window/desktopnotifier.h"

#include <QDebug>

#include <utility>

#ifdef Q_OS_WIN
#include "commands/purgereport.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <QSystemTrayIcon>
#else
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#endif

namespace {
const QString kTitle = QStringLiteral("Quellory");
}

void DesktopNotifier::failed(quint64 purge, const QString &why)
{
#ifdef Q_OS_WIN
    Q_UNUSED(purge);
    if (std::exchange(m_warned, true))
        return;
#else
    Shown &shown = m_shown[purge];
    if (std::exchange(shown.failed, true))
        return;
    shown.pending.clear();
#endif
    qWarning().noquote() << tr("Quellory: the purge report cannot be shown: %1").arg(why);
}

#ifdef Q_OS_WIN

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
{ }

void DesktopNotifier::show(quint64 purge, const QString &body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return failed(purge, tr("there is no system tray"));
    if (!m_tray) {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
        m_tray = new QSystemTrayIcon(icon, this);
        // The tray's message has no id: a click belongs to the last one shown.
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
            if (m_lastPurge)
                emit resultsWanted(m_lastPurge);
        });
        m_tray->show();
    }
    m_lastPurge = purge;
    // The tray's message holds 255 characters.
    m_tray->showMessage(kTitle, PurgeReport::shortened(body, 255), QSystemTrayIcon::Information);
}

void DesktopNotifier::forget(quint64 purge)
{
    if (m_lastPurge == purge)
        m_lastPurge = 0;
}

void DesktopNotifier::withdraw(quint64 purge)
{
    forget(purge);
}

#else

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}
} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
{ }

bool DesktopNotifier::connectOnce()
{
    // Only once there is something to say: the window opens without waiting
    // for the bus.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_connected || !bus.isConnected())
        return bus.isConnected();
    m_connected = true;
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::capabilities);
    return true;
}

void DesktopNotifier::capabilities(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    if (!reply.isError())
        m_escape = reply.value().contains(QStringLiteral("body-markup"));
}

void DesktopNotifier::show(quint64 purge, const QString &body)
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

void DesktopNotifier::send(quint64 purge, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!connectOnce())
        return failed(purge, tr("there is no session bus (%1)").arg(bus.lastError().message()));
    Shown &shown = m_shown[purge];
    QDBusMessage notify = call(QStringLiteral("Notify"));
    notify << kTitle << shown.id << QString() << kTitle << (m_escape ? body.toHtmlEscaped() : body)
           << QStringList{QStringLiteral("default"), tr("Show results")} << QVariantMap() << -1;
    shown.sending = true;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, purge](QDBusPendingCallWatcher *call) { sent(purge, call); });
}

void DesktopNotifier::sent(quint64 purge, QDBusPendingCallWatcher *call)
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

void DesktopNotifier::forget(quint64 purge)
{
    m_shown.erase(purge);
}

void DesktopNotifier::withdraw(quint64 purge)
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

void DesktopNotifier::close(uint id)
{
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    if (action != QStringLiteral("default") || id == 0)
        return;
    for (const auto &[purge, shown] : m_shown) {
        if (shown.id == id) {
            emit resultsWanted(purge);
            return;
        }
    }
}

#endif

#pragma once

#include <QObject>
#include <QString>

#include <map>

#ifdef Q_OS_WIN
class QSystemTrayIcon;
#else
class QDBusPendingCallWatcher;
#endif

// Tells the operator how a purge went through the desktop's notification
// service: freedesktop.org Notifications over the session bus on Linux, the
// tray's message on Windows. Each purge has one notification, replaced in place
// as its report changes. Nothing here ever blocks: with no service at all the
// purge goes on as before and one line goes to the error stream.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotifier(QObject *parent = nullptr);

    // Shows `body` as the notification of purge `purge`, in place of the one
    // shown for it before.
    void show(quint64 purge, const QString &body);
    // No more notifications for this purge, and no action from its last one.
    void forget(quint64 purge);
    // The same, and its notification is taken away: a purge the operator
    // stopped must not stay on screen as if it were still running.
    void withdraw(quint64 purge);

signals:
    // The operator took the notification's default action ("Show results").
    void resultsWanted(quint64 purge);

private:
    void failed(quint64 purge, const QString &why);

#ifdef Q_OS_WIN
    QSystemTrayIcon *m_tray = nullptr;
    quint64 m_lastPurge = 0;
    bool m_warned = false;
#else
    struct Shown
    {
        uint id = 0;            // the service's id, once it has answered
        bool sending = false;   // a Notify call is on its way
        QString pending;        // a body to send once it has answered
        bool failed = false;    // said so once; nothing more is sent for it
        bool withdrawn = false; // to be closed as soon as its id arrives
    };
    void close(uint id);
    // Connects to the session bus and the service's signal; false without a bus.
    bool connectOnce();
    void send(quint64 purge, const QString &body);
    void sent(quint64 purge, QDBusPendingCallWatcher *call);

private slots:
    void actionInvoked(uint id, const QString &action);
    void capabilities(QDBusPendingCallWatcher *call);

private:
    std::map<quint64, Shown> m_shown;
    bool m_connected = false;
    // Servers that read markup in the body get it escaped (a server name may
    // hold "<" or "&"); most do, so until they have said otherwise it is.
    bool m_escape = true;
#endif
};

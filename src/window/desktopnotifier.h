#pragma once

#include <QObject>
#include <QString>

#include <memory>

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
    ~DesktopNotifier() override;

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
    // The title of every notification.
    static QString title();
    // Says on the error stream why the report cannot be shown.
    static void warn(const QString &why);

    // What the platform's service needs kept: the tray icon on Windows
    // (desktopnotifier_win.cpp), the notifications sent over the session bus
    // elsewhere (desktopnotifier_unix.cpp).
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};

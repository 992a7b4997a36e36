#include "window/desktopnotifier.h"

#include "commands/actions/purgereport.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <QSystemTrayIcon>

#include <utility>

// DesktopNotifier on Windows: the tray's message.

struct DesktopNotifier::Platform
{
    QSystemTrayIcon *tray = nullptr; // a child of the notifier, made at the first report
    quint64 lastPurge = 0;
    bool warned = false;
};

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
    , m_platform(std::make_unique<Platform>())
{ }

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::show(quint64 purge, const QString &body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // The tray's message belongs to no purge: said once for the program.
        if (!std::exchange(m_platform->warned, true))
            warn(tr("there is no system tray"));
        return;
    }
    if (!m_platform->tray) {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
        m_platform->tray = new QSystemTrayIcon(icon, this);
        // The tray's message has no id: a click belongs to the last one shown.
        connect(m_platform->tray, &QSystemTrayIcon::messageClicked, this, [this] {
            if (m_platform->lastPurge)
                emit resultsWanted(m_platform->lastPurge);
        });
        m_platform->tray->show();
    }
    m_platform->lastPurge = purge;
    // The tray's message holds 255 characters.
    m_platform->tray->showMessage(title(), PurgeReport::shortened(body, 255), QSystemTrayIcon::Information);
}

void DesktopNotifier::forget(quint64 purge)
{
    if (m_platform->lastPurge == purge)
        m_platform->lastPurge = 0;
}

void DesktopNotifier::withdraw(quint64 purge)
{
    forget(purge);
}

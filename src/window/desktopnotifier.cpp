#include "window/desktopnotifier.h"

#include <QDebug>

// What both platforms share; each platform's service is in
// desktopnotifier_win.cpp and desktopnotifier_unix.cpp.

QString DesktopNotifier::title()
{
    return QStringLiteral("Quellory");
}

void DesktopNotifier::warn(const QString &why)
{
    qWarning().noquote() << tr("Quellory: the purge report cannot be shown: %1").arg(why);
}

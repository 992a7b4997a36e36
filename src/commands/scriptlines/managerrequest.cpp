#include "commands/scriptlines/managerrequest.h"

QString ManagerRequest::userName()
{
    return QStringLiteral("quellory");
}

ManagerRequest ManagerRequest::parse(const QString &request)
{
    ManagerRequest parsed;
    const QString prefix = QStringLiteral("mgr:");
    if (!request.startsWith(prefix))
        return parsed;
    parsed.manager = true;
    // Action names never hold an "@"; a password may.
    const qsizetype at = request.indexOf(QLatin1Char('@'), prefix.size());
    const qsizetype actionEnd = at < 0 ? request.size() : at;
    parsed.path = QStringLiteral("/squid-internal-mgr/") + request.mid(prefix.size(), actionEnd - prefix.size());
    if (at >= 0) {
        parsed.withPassword = true;
        parsed.password = request.mid(at + 1);
    }
    return parsed;
}

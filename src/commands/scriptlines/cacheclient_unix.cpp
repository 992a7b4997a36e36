#include "commands/scriptlines/cacheclient.h"

#include "commands/scriptlines/noclienterror.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

CacheClient CacheClient::find(const AppFolder &folder)
{
    const QString squidclient = folder.file(QStringLiteral("squidclient"));
    // A link to Debian's squidclient (make install puts one) counts as there.
    if (QFileInfo::exists(squidclient))
        return CacheClient::squidclient();
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (!curl.isEmpty())
        return CacheClient::curl(curl);
    throw NoClientError(squidclient, QCoreApplication::translate("CacheClient", "not on PATH"));
}

#include "commands/scriptlines/cacheclient.h"

#include "commands/scriptlines/noclienterror.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

QString CacheClient::squidclientName()
{
    return QStringLiteral("squidclient");
}

CacheClient CacheClient::find(const AppFolder &folder, bool preferCurl)
{
    checkFolder(folder);
    const QString squidclient = folder.programFile(squidclientName());
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (preferCurl && !curl.isEmpty())
        return CacheClient::curl(curl);
    // A link to Debian's squidclient (make install puts one) counts as there.
    if (QFileInfo::exists(squidclient))
        return CacheClient::squidclient();
    if (!curl.isEmpty())
        return CacheClient::curl(curl);
    throw NoClientError(squidclient, QCoreApplication::translate("CacheClient", "not on PATH"));
}

#include "commands/scriptlines/cacheclient.h"

#include "commands/scriptlines/noclienterror.h"
#include "commands/scriptlines/systemfolder.h"

#include <QFileInfo>

CacheClient CacheClient::find(const AppFolder &folder)
{
    const QString squidclient = folder.file(QStringLiteral("squidclient.exe"));
    if (QFileInfo::exists(squidclient))
        return CacheClient::squidclient();
    // The system folder's curl.exe, or where it would be, whatever PATH says.
    const QString curl = SystemFolder::file(QStringLiteral("curl.exe"));
    if (!curl.isEmpty() && QFileInfo(curl).isFile())
        return CacheClient::curl(curl);
    throw NoClientError(squidclient, curl.isEmpty() ? QStringLiteral("System32\\curl.exe") : curl);
}

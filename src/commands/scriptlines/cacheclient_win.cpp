#include "commands/scriptlines/cacheclient.h"

#include "commands/scriptlines/noclienterror.h"
#include "commands/scriptlines/systemfolder.h"

#include <QFileInfo>

QString CacheClient::squidclientName()
{
    return QStringLiteral("squidclient.exe");
}

CacheClient CacheClient::find(const AppFolder &folder, bool preferCurl)
{
    checkFolder(folder);
    const QString squidclient = folder.programFile(squidclientName());
    // The system folder's curl.exe, or where it would be, whatever PATH says.
    const QString curl = SystemFolder::file(QStringLiteral("curl.exe"));
    const bool curlThere = !curl.isEmpty() && QFileInfo(curl).isFile();
    if (preferCurl && curlThere)
        return CacheClient::curl(curl);
    if (QFileInfo::exists(squidclient))
        return CacheClient::squidclient();
    if (curlThere)
        return CacheClient::curl(curl);
    throw NoClientError(squidclient, curl.isEmpty() ? QStringLiteral("System32\\curl.exe") : curl);
}

#include "commands/cacheclient.h"

#include "commands/noclienterror.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
#ifdef Q_OS_WIN
const QString kSquidclient = QStringLiteral("squidclient.exe");

// The system folder's curl.exe, or where it would be, whatever PATH says.
QString systemCurl()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return QString();
    return QString::fromWCharArray(folder, int(length)) + QStringLiteral("\\curl.exe");
}
#else
const QString kSquidclient = QStringLiteral("squidclient");
#endif
} // namespace

CacheClient::CacheClient(Kind kind, const QString &program)
    : m_kind(kind)
    , m_program(program)
{ }

CacheClient CacheClient::squidclient()
{
    return CacheClient(Kind::Squidclient, QString());
}

CacheClient CacheClient::curl(const QString &program)
{
    return CacheClient(Kind::Curl, program);
}

CacheClient CacheClient::find(const AppFolder &folder)
{
    const QString squidclient = folder.file(kSquidclient);
    // A link to Debian's squidclient (make install puts one) counts as there.
    if (QFileInfo::exists(squidclient))
        return CacheClient::squidclient();
#ifdef Q_OS_WIN
    const QString curl = systemCurl();
    if (!curl.isEmpty() && QFileInfo(curl).isFile())
        return CacheClient::curl(curl);
    throw NoClientError(squidclient, curl.isEmpty() ? QStringLiteral("System32\\curl.exe") : curl);
#else
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (!curl.isEmpty())
        return CacheClient::curl(curl);
    throw NoClientError(squidclient, QCoreApplication::translate("CacheClient", "not on PATH"));
#endif
}

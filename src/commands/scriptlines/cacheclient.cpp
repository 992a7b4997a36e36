#include "commands/scriptlines/cacheclient.h"

#include "storage/untrustedpatherror.h"

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

void CacheClient::checkFolder(const AppFolder &folder)
{
    UntrustedPathError::check(folder.programPath());
    UntrustedPathError::check(folder.programFile(squidclientName()));
    // Another server's scripts are written and run from a folder of their own.
    if (folder.path() != folder.programPath())
        UntrustedPathError::check(folder.path());
}

#include "commands/scriptlines/cacheclient.h"

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

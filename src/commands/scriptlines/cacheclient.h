#pragma once

#include "storage/appfolder.h"

#include <QString>

// The program a script calls to talk to the cache. squidclient beside the
// program is used whenever it is there, exactly as always; without it, curl:
// on Linux the one on PATH, on Windows the system's own (System32\curl.exe,
// shipped since Windows 10), never one from the application folder or PATH,
// where anyone who can write there could put another.
class CacheClient
{
public:
    enum class Kind { Squidclient, Curl };

    static CacheClient squidclient();
    // program: curl's path as the script names it.
    static CacheClient curl(const QString &program);

    // The client for scripts in folder on this system. `preferCurl`: curl
    // whenever it is there, for a request whose password squidclient would
    // take on its command line. Throws NoClientError when there is neither,
    // and UntrustedPathError (see checkFolder) before anything else.
    static CacheClient find(const AppFolder &folder, bool preferCurl = false);

    // Throws UntrustedPathError when the folder, or the squidclient in it, is
    // owned by another user or writable by others: the scripts run from there.
    static void checkFolder(const AppFolder &folder);

    Kind kind() const { return m_kind; }
    const QString &program() const { return m_program; }

private:
    CacheClient(Kind kind, const QString &program);
    // "squidclient", or "squidclient.exe" on Windows.
    static QString squidclientName();

    Kind m_kind;
    QString m_program; // curl's; squidclient's is always the folder's
};

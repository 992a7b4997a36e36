#pragma once

#include "commands/scriptlines/cacheclient.h"
#include "commands/scriptlines/codepages.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scriptlines/shelldialect.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/appfolder.h"

#include <QString>

// The status query: writes info.bat with one client call (see SquidclientLine)
// and starts it. The window follows its answer as it arrives (StatusFollow);
// run() waits the pause on the calling thread instead, for callers that may
// block.
//
// It remembers the script it started last: a query that is still running when
// the next one starts is ended first, together with its squidclient, so two
// answers never write into the one result file at once.
class StatusQuery
{
public:
    static constexpr int kPauseMs = 2000;

    explicit StatusQuery(int pauseMs = kPauseMs);

    // Whether squidclient may be given a password on its command line.
    enum class Password { Hidden, MayShow };

    // The client call of the status script, exactly as start() writes it for
    // `client`; curl reads a password from the config file at configPath.
    // Throws UnsafeTextError when a text cannot be passed.
    static QString script(const AppFolder &folder, const QString &server, const QString &request, ShellDialect dialect,
                          const CodePages &codePages, const CacheClient &client = CacheClient::squidclient(),
                          const QString &configPath = QString());

    // Writes and starts the script. A password goes to curl, where it is
    // there, in a config file of the run that only the operator can read and
    // the script removes once curl has read it; to squidclient only with
    // Password::MayShow. Throws UntrustedPathError, NoClientError,
    // UnsafeTextError or VisiblePasswordError before anything is written or
    // stopped, FileError on a failing file operation (then nothing is started).
    ScriptRunner::StartedScript start(const AppFolder &folder, const QString &server, const QString &request,
                                      Password password = Password::Hidden);
    // The same with this client, whatever CacheClient::find would choose.
    ScriptRunner::StartedScript start(const AppFolder &folder, const QString &server, const QString &request,
                                      const CacheClient &client, Password password);

    // Every check start() makes before it writes or stops anything, and
    // throws as it does then: touches no file.
    static void check(const AppFolder &folder, const QString &server, const QString &request,
                      Password password = Password::Hidden);

    // start(), the pause, and what the result file holds then, cut at
    // ResultReader's limit. Throws as start() does.
    QString run(const AppFolder &folder, const QString &server, const QString &request,
                Password password = Password::Hidden);

    int pause() const { return m_pauseMs; }

    void setPause(int ms) { m_pauseMs = ms; }

    static QString scriptPath(const AppFolder &folder);
    // The result file as the system names it: "info.txt " with its trailing
    // blank, which the script writes; on Windows "info.txt", the name the blank
    // is dropped from.
    static QString resultPath(const AppFolder &folder);

    // Ends the last query, if it still runs, and removes its config file,
    // which a script ended early never got to.
    void stopLast();

private:
    static void check(const SquidclientLine &command, const CacheClient &client, const QString &request,
                      Password password);

    int m_pauseMs;
    ScriptRunner::StartedScript m_lastScript;
    QString m_lastConfig;
};

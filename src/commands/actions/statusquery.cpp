#include "commands/actions/statusquery.h"

#include "commands/actions/resultreader.h"
#include "commands/actions/visiblepassworderror.h"
#include "commands/scriptlines/managerrequest.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scripts/runcopy.h"
#include "commands/scripts/scriptrunner.h"
#include "commands/scripts/scriptwriter.h"
#include "storage/privatefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <optional>

QString StatusQuery::scriptPath(const AppFolder &folder)
{
    return folder.file(QStringLiteral("info.bat"));
}

QString StatusQuery::resultPath(const AppFolder &folder)
{
#ifdef Q_OS_WIN
    // cmd.exe, like every Win32 call given a path without the \\?\ prefix,
    // drops the blank and writes info.txt; Qt hands Windows the prefixed form
    // and would look for a name that keeps it.
    return folder.file(QStringLiteral("info.txt"));
#else
    return folder.file(QStringLiteral("info.txt "));
#endif
}

StatusQuery::StatusQuery(int pauseMs)
    : m_pauseMs(pauseMs)
{ }

QString StatusQuery::script(const AppFolder &folder, const QString &server, const QString &request,
                            ShellDialect dialect, const CodePages &codePages, const CacheClient &client,
                            const QString &configPath)
{
    const SquidclientLine command(dialect, folder, server, codePages, client);
    command.check(request, QCoreApplication::translate("StatusQuery", "The request"));
    return command.status(request, command.folderFile(QStringLiteral("info.txt ")), configPath);
}

void StatusQuery::stopLast()
{
    if (m_lastScript.pid != 0)
        ScriptRunner::stop(m_lastScript);
    m_lastScript = {};
    // Removed by the script once curl has read it, unless it was ended first.
    if (!m_lastConfig.isEmpty())
        QFile::remove(m_lastConfig);
    m_lastConfig.clear();
}

void StatusQuery::check(const SquidclientLine &command, const CacheClient &client, const QString &request,
                        Password password)
{
    command.check(request, QCoreApplication::translate("StatusQuery", "The request"));
    if (ManagerRequest::parse(request).withPassword && client.kind() == CacheClient::Kind::Squidclient
        && password != Password::MayShow)
        throw VisiblePasswordError();
}

void StatusQuery::check(const AppFolder &folder, const QString &server, const QString &request, Password password)
{
    const CacheClient client = CacheClient::find(folder, ManagerRequest::parse(request).withPassword);
    check(SquidclientLine(nativeShellDialect(), folder, server, CodePages::ofSystem(), client), client, request,
          password);
}

ScriptRunner::StartedScript StatusQuery::start(const AppFolder &folder, const QString &server, const QString &request,
                                               Password password)
{
    return start(folder, server, request, CacheClient::find(folder, ManagerRequest::parse(request).withPassword),
                 password);
}

ScriptRunner::StartedScript StatusQuery::start(const AppFolder &folder, const QString &server, const QString &request,
                                               const CacheClient &client, Password password)
{
    const ShellDialect dialect = nativeShellDialect();
    const CodePages codePages = CodePages::ofSystem();
    const SquidclientLine command(dialect, folder, server, codePages, client);
    check(command, client, request, password);

    // The last query may still be writing into the result file (a slow server);
    // its answer is no longer wanted, and it must not mix with the new one.
    stopLast();
    const QString path = scriptPath(folder);
    std::optional<PrivateFile> config;
    if (command.needsConfig(request)) {
        config.emplace(RunCopy::runPrefix(path), QStringLiteral(".cfg"),
                       QCoreApplication::translate("StatusQuery", "Writing curl's config file"));
        try {
            config->write(command.config(request));
            config->close();
        } catch (...) {
            config->discard();
            throw;
        }
    }
    try {
        ScriptWriter writer(path, dialect, codePages);
        writer.writeRunCopy();
        writer.writeLine(command.status(request, command.folderFile(QStringLiteral("info.txt ")),
                                        config ? config->path() : QString()));
        if (config)
            writer.writeLine(command.removal(config->path()));
        writer.close();
        // An answer an earlier version left readable to all is emptied, not
        // replaced, by the script's redirection: narrowed first.
        PrivateFile::restrictToOwner(resultPath(folder));
        m_lastScript = ScriptRunner::start(writer.runPath());
    } catch (...) {
        if (config)
            config->discard();
        throw;
    }
    if (config)
        m_lastConfig = config->path();
    return m_lastScript;
}

QString StatusQuery::run(const AppFolder &folder, const QString &server, const QString &request, Password password)
{
    start(folder, server, request, password);
    // A fixed pause, not a wait for the script: whatever squidclient has written
    // by then is what is shown.
    QThread::msleep(static_cast<unsigned long>(m_pauseMs));
    QString shown;
    ResultReader reader;
    reader.append(shown, resultPath(folder));
    reader.finish(shown, ResultReader::Kind::Status);
    return shown;
}

#include "commands/actions/statusquery.h"

#include "commands/actions/resultreader.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scripts/scriptrunner.h"
#include "commands/scripts/scriptwriter.h"

#include <QCoreApplication>
#include <QThread>

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
                            ShellDialect dialect, const CodePages &codePages, const CacheClient &client)
{
    const SquidclientLine command(dialect, folder, server, codePages, client);
    command.check(request, QCoreApplication::translate("StatusQuery", "The request"));
    return command.status(request, command.folderFile(QStringLiteral("info.txt ")));
}

ScriptRunner::StartedScript StatusQuery::start(const AppFolder &folder, const QString &server, const QString &request)
{
    const ShellDialect dialect = nativeShellDialect();
    const CodePages codePages = CodePages::ofSystem();
    const QString line = script(folder, server, request, dialect, codePages, CacheClient::find(folder));

    // The last query may still be writing into the result file (a slow server);
    // its answer is no longer wanted, and it must not mix with the new one.
    if (m_lastScript.pid != 0) {
        ScriptRunner::stop(m_lastScript);
        m_lastScript = {};
    }
    ScriptWriter writer(scriptPath(folder), dialect, codePages);
    writer.writeRunCopy();
    writer.writeLine(line);
    writer.close();
    m_lastScript = ScriptRunner::start(writer.runPath());
    return m_lastScript;
}

QString StatusQuery::run(const AppFolder &folder, const QString &server, const QString &request)
{
    start(folder, server, request);
    // A fixed pause, not a wait for the script: whatever squidclient has written
    // by then is what is shown.
    QThread::msleep(static_cast<unsigned long>(m_pauseMs));
    QString shown;
    ResultReader reader;
    reader.append(shown, resultPath(folder));
    reader.finish(shown, ResultReader::Kind::Status);
    return shown;
}

#include "commands/statusquery.h"

#include "commands/scriptrunner.h"
#include "commands/scriptwriter.h"
#include "commands/squidclientline.h"
#include "storage/textfile.h"

#include <QThread>

QString StatusQuery::scriptPath(const AppFolder &folder)
{
    return folder.file(QStringLiteral("info.bat"));
}

QString StatusQuery::resultPath(const AppFolder &folder)
{
    return folder.file(QStringLiteral("info.txt "));
}

StatusQuery::StatusQuery(int pauseMs, ShellDialect dialect)
    : m_pauseMs(pauseMs)
    , m_dialect(dialect)
{ }

QString StatusQuery::run(const AppFolder &folder, const QString &server, const QString &request)
{
    const SquidclientLine command(m_dialect, folder, server);
    command.check(request, QStringLiteral("The request"));

    const QString script = scriptPath(folder);
    // The last query may still be writing into the result file (a slow server);
    // its answer is no longer wanted, and it must not mix with the new one.
    if (m_lastScript.pid != 0) {
        ScriptRunner::stop(m_lastScript, script);
        m_lastScript = {};
    }
    ScriptWriter writer(script);
    writer.writeLine(command.status(request, resultPath(folder)));
    writer.close();
    m_lastScript = ScriptRunner::start(script);

    // A fixed pause, not a wait for the script: whatever squidclient has written
    // by then is what the operator sees.
    QThread::msleep(static_cast<unsigned long>(m_pauseMs));
    return TextFile::FileContent(resultPath(folder));
}

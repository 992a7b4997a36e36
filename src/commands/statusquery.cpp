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

QString StatusQuery::run(const AppFolder &folder, const QString &server, const QString &request, int pauseMs,
                         ShellDialect dialect)
{
    const SquidclientLine command(dialect, folder, server);
    command.check(request, QStringLiteral("The request"));

    const QString script = scriptPath(folder);
    ScriptWriter writer(script);
    writer.writeLine(command.status(request, resultPath(folder)));
    writer.close();
    ScriptRunner::start(script);

    // A fixed pause, not a wait for the script: whatever squidclient has written
    // by then is what the operator sees.
    QThread::msleep(static_cast<unsigned long>(pauseMs));
    return TextFile::FileContent(resultPath(folder));
}

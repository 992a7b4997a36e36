#include "commands/purge.h"

#include "commands/scriptrunner.h"
#include "commands/scriptwriter.h"
#include "commands/squidclientline.h"
#include "storage/linesplit.h"
#include "storage/textfile.h"

QString Purge::scriptPath(const AppFolder &folder)
{
    return folder.file(QStringLiteral("test.bat"));
}

QString Purge::resultPath(const AppFolder &folder, qsizetype line)
{
    return folder.file(QStringLiteral("nslookup") + QString::number(line) + QStringLiteral(".txt"));
}

QString Purge::run(const AppFolder &folder, const QString &server, const QString &urls, ShellDialect dialect)
{
    const SquidclientLine command(dialect, folder, server);
    // The appended line end only adds an empty last piece, which is skipped.
    const QStringList lines = SplitLines(urls + QStringLiteral("\r\n"));

    // Every text is checked before the script is touched, so a refused URL leaves
    // the previous script as it was.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            command.checkUrl(lines.at(i), i);
    }

    const QString script = scriptPath(folder);
    ScriptWriter writer(script);
    QString shown;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &url = lines.at(i);
        if (url.isEmpty())
            continue;
        const QString result = resultPath(folder, i);
        writer.writeLine(command.purge(url, result));
        // The script has not run yet: this is what an earlier purge left under
        // this number.
        shown += TextFile::FileContent(result);
    }
    writer.close();
    ScriptRunner::start(script);
    return shown;
}

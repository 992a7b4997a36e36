#include "commands/actions/purge.h"

#include "commands/actions/resultreader.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scripts/scriptwriter.h"
#include "storage/encodinglist.h"
#include "storage/linesplit.h"

#include <optional>

QString Purge::scriptPath(const AppFolder &folder)
{
    return folder.file(QStringLiteral("test.bat"));
}

QString Purge::resultName(qsizetype line)
{
    return QStringLiteral("nslookup") + QString::number(line) + QStringLiteral(".txt");
}

QString Purge::resultPath(const AppFolder &folder, qsizetype line)
{
    return folder.file(resultName(line));
}

QString Purge::urlLineName(qsizetype line)
{
    return SquidclientLine::urlLineName(line, resultName(line));
}

QString Purge::shown(const AppFolder &folder, const QList<qsizetype> &urlLines)
{
    ResultReader reader;
    QString shown;
    for (const qsizetype line : urlLines)
        reader.append(shown, resultPath(folder, line));
    reader.finish(shown, ResultReader::Kind::Purge);
    return shown;
}

void Purge::script(const AppFolder &folder, const QString &server, const QString &urls, ShellDialect dialect,
                   const CodePages &codePages, const CacheClient &client,
                   const std::function<void(qsizetype urlLine, const QString &line, const QString &result)> &line,
                   const QStringList &encodings)
{
    SquidclientLine command(dialect, folder, server, codePages, client);
    for (qsizetype i = 0; i < encodings.size(); ++i)
        command.checkEncoding(encodings.at(i), i);
    // The appended line end only adds an empty last piece, which is skipped.
    const QStringList lines = SplitLines(urls + QStringLiteral("\r\n"));

    // Every text is checked before the first line goes out, so a refused URL
    // leaves the previous script as it was.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            command.checkUrl(lines.at(i), i, &resultName);
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QString &url = lines.at(i);
        const QString result = command.folderFile(resultName(i));
        line(i, command.purge(url, result), result);
        if (encodings.isEmpty())
            continue;
        line(i, command.fetch(url, QString()), result);
        for (const QString &encoding : encodings) {
            line(i, command.purge(url, result, encoding, true), result);
            line(i, command.fetch(url, encoding), result);
        }
    }
}

QString Purge::run(const AppFolder &folder, const QString &server, const QString &urls,
                   ScriptRunner::StartedScript *last, QList<qsizetype> *purged, int *answers)
{
    const CacheClient client = CacheClient::find(folder);
    const ShellDialect dialect = nativeShellDialect();
    const CodePages codePages = CodePages::ofSystem();
    const QString path = scriptPath(folder);
    const QStringList encodings = EncodingList(folder).load();
    if (answers)
        *answers = 1 + int(encodings.size());
    std::optional<ScriptWriter> writer;
    const auto create = [&] {
        if (last)
            ScriptRunner::stop(*last);
        writer.emplace(path, dialect, codePages);
        writer->writeRunCopy();
    };
    ResultReader reader;
    QString shown;
    qsizetype lastLine = -1;
    if (purged)
        purged->clear();
    script(
            folder, server, urls, dialect, codePages, client,
            [&](qsizetype urlLine, const QString &line, const QString &result) {
                // Created only now: every text has passed its check.
                if (!writer)
                    create();
                writer->writeLine(line);
                if (urlLine == lastLine)
                    return;
                lastLine = urlLine;
                // The script has not run yet: this is what an earlier purge left under
                // this number.
                reader.append(shown, result);
                if (purged)
                    purged->append(urlLine);
            },
            encodings);
    // Nothing to purge still gives an (empty) script, started as any other.
    if (!writer)
        create();
    writer->close();
    reader.finish(shown, ResultReader::Kind::Purge);
    const ScriptRunner::StartedScript started = ScriptRunner::start(writer->runPath());
    if (last)
        *last = started;
    return shown;
}

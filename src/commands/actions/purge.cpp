#include "commands/actions/purge.h"

#include "commands/actions/resultreader.h"
#include "commands/scriptlines/codepagerule.h"
#include "commands/scriptlines/lanelines.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scripts/companionfile.h"
#include "commands/scripts/scriptwriter.h"
#include "storage/encodinglist.h"
#include "storage/linesplit.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <optional>

QList<qsizetype> Purge::laneStarts(qsizetype lines)
{
    const qsizetype lanes = std::min(kLanes, lines);
    QList<qsizetype> starts;
    for (qsizetype lane = 0; lane < lanes; ++lane)
        starts << lane * lines / lanes;
    return starts;
}

QString Purge::lanePrefix(const QString &runPath, qsizetype lane)
{
    QString prefix = runPath;
    if (prefix.endsWith(QStringLiteral(".bat"), Qt::CaseInsensitive))
        prefix.chop(4);
    return prefix + QStringLiteral(".L") + QString::number(lane);
}

QString Purge::laneMark(const QString &runPath)
{
    // "<base>.run-<random>.bat"
    const QString name = QFileInfo(runPath).fileName();
    const qsizetype at = name.lastIndexOf(QStringLiteral(".run-"));
    return at < 0 ? QString() : name.mid(at + 5).section(u'.', 0, 0);
}

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
                   const QStringList &encodings, const Lanes *lanes)
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
    const auto requests = [&](qsizetype i) {
        const QString &url = lines.at(i);
        const QString result = command.folderFile(resultName(i));
        line(i, command.purge(url, result), result);
        if (encodings.isEmpty())
            return;
        line(i, command.fetch(url, QString()), result);
        for (const QString &encoding : encodings) {
            line(i, command.purge(url, result, encoding, true), result);
            line(i, command.fetch(url, encoding), result);
        }
    };
    QList<qsizetype> purged;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            purged << i;
    }
    if (!lanes || dialect == ShellDialect::Cmd) {
        for (const qsizetype i : std::as_const(purged))
            requests(i);
        return;
    }
    const QList<qsizetype> starts = laneStarts(purged.size());
    if (starts.isEmpty())
        return;
    const QString runPath = lanes->runPath();
    const LaneLines frame(dialect, command, laneMark(runPath), encodings.size());
    const bool curl = client.kind() == CacheClient::Kind::Curl;
    if (curl)
        line(-1, frame.curlPrologue(), QString());
    for (qsizetype lane = 0; lane < starts.size(); ++lane) {
        const qsizetype end = lane + 1 < starts.size() ? starts.at(lane + 1) : purged.size();
        line(-1, frame.open(), QString());
        if (!curl) {
            for (qsizetype at = starts.at(lane); at < end; ++at)
                requests(purged.at(at));
            line(-1, frame.close(), QString());
            continue;
        }
        // Operations one after another, "next" between them.
        QString config;
        const auto operation = [&](const QString &text) {
            if (!config.isEmpty())
                config += QStringLiteral("next\n");
            config += text;
        };
        for (qsizetype at = starts.at(lane); at < end; ++at) {
            const qsizetype i = purged.at(at);
            const QString &url = lines.at(i);
            line(i, QString(), command.folderFile(resultName(i)));
            operation(command.operation(url, QString(), true, frame.writeOut(i, 0)));
            for (qsizetype value = 0; value < encodings.size(); ++value) {
                operation(command.operation(url, value == 0 ? QString() : encodings.at(value - 1), false,
                                            frame.writeOut(-1, 0)));
                operation(command.operation(url, encodings.at(value), true, frame.writeOut(i, value + 1)));
            }
            if (!encodings.isEmpty())
                operation(command.operation(url, encodings.constLast(), false, frame.writeOut(-1, 0)));
        }
        const QString prefix = lanePrefix(runPath, lane);
        lanes->config(lane, config);
        for (const QString &text : frame.curl(prefix, folder.path()))
            line(-1, text, QString());
        line(-1, frame.close(), QString());
    }
    line(-1, frame.waitAll(), QString());
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
    // A lane's config file goes once the script is started, or never was.
    QStringList configs;
    auto removeConfigs = qScopeGuard([&configs] {
        for (const QString &config : std::as_const(configs))
            QFile::remove(config);
    });
    Lanes lanes;
    lanes.runPath = [&] {
        create();
        return writer->runPath();
    };
    lanes.config = [&](qsizetype lane, const QString &text) {
        const QString path = LaneLines::configPath(lanePrefix(writer->runPath(), lane));
        configs << path;
        CompanionFile::write(path, dialect == ShellDialect::Cmd ? CodePageRule::toAnsi(codePages, text)
                                                                : text.toLocal8Bit());
    };
    script(
            folder, server, urls, dialect, codePages, client,
            [&](qsizetype urlLine, const QString &line, const QString &result) {
                // Created only now: every text has passed its check.
                if (!writer)
                    create();
                if (!line.isNull())
                    writer->writeLine(line);
                if (urlLine < 0 || urlLine == lastLine)
                    return;
                lastLine = urlLine;
                // The script has not run yet: this is what an earlier purge left under
                // this number.
                reader.append(shown, result);
                if (purged)
                    purged->append(urlLine);
            },
            encodings, &lanes);
    // Nothing to purge still gives an (empty) script, started as any other.
    if (!writer)
        create();
    writer->close();
    reader.finish(shown, ResultReader::Kind::Purge);
    const ScriptRunner::StartedScript started = ScriptRunner::start(writer->runPath());
    removeConfigs.dismiss();
    if (last)
        *last = started;
    return shown;
}

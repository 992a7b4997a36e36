#include "commands/actions/purge.h"

#include "commands/actions/resultreader.h"
#include "commands/scriptlines/codepagerule.h"
#include "commands/scriptlines/curlconfigquote.h"
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

QList<qsizetype> Purge::laneStarts(qsizetype lines, ShellDialect dialect, const CacheClient &client)
{
    if (client.kind() == CacheClient::Kind::Curl && dialect == ShellDialect::Sh)
        return lines > 0 ? QList<qsizetype>{0} : QList<qsizetype>{};
    return laneStarts(lines);
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
    appendShown(reader, shown, folder, urlLines);
    reader.finish(shown, ResultReader::Kind::Purge);
    return shown;
}

void Purge::appendShown(ResultReader &reader, QString &shown, const AppFolder &folder, const QList<qsizetype> &urlLines,
                        const std::atomic_bool *cancelled)
{
    for (const qsizetype line : urlLines) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return;
        reader.append(shown, resultPath(folder, line));
    }
}

namespace {
// The URL lines of urls, once every text has passed its check.
QStringList checkedLines(SquidclientLine &command, const QString &urls, const QStringList &encodings)
{
    for (qsizetype i = 0; i < encodings.size(); ++i)
        command.checkEncoding(encodings.at(i), i);
    // The appended line end only adds an empty last piece, which is skipped.
    QStringList lines = SplitLines(urls + QStringLiteral("\r\n"));
    // Every text is checked before the first line goes out, so a refused URL
    // leaves the previous script as it was.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            command.checkUrl(lines.at(i), i, &Purge::resultName);
    }
    return lines;
}
} // namespace

QStringList Purge::check(const AppFolder &folder, const QString &server, const QString &urls)
{
    SquidclientLine command(nativeShellDialect(), folder, server, CodePages::ofSystem(), CacheClient::find(folder));
    return checkedLines(command, urls, EncodingList(folder).load());
}

void Purge::script(const AppFolder &folder, const QString &server, const QString &urls, ShellDialect dialect,
                   const CodePages &codePages, const CacheClient &client,
                   const std::function<void(qsizetype urlLine, const QString &line, const QString &result)> &line,
                   const QStringList &encodings, const Lanes *lanes, const LineValues &valuesOf)
{
    SquidclientLine command(dialect, folder, server, codePages, client);
    const QStringList lines = checkedLines(command, urls, encodings);
    // Without values of its own a line is refreshed with none, then each of
    // encodings.txt's.
    QStringList everyValue;
    if (!encodings.isEmpty())
        everyValue << QString() << encodings;
    const auto values = [&](qsizetype i) { return valuesOf ? valuesOf(i) : everyValue; };
    // A URL line's requests, each handed to `out`: a PURGE and a GET for each
    // value, the first PURGE's answer written afresh and the others' added.
    const auto requests = [&](qsizetype i, auto &&out) {
        const QString &url = lines.at(i);
        const QString result = command.folderFile(resultName(i));
        const QStringList v = values(i);
        if (v.isEmpty())
            out(command.purge(url, result));
        for (qsizetype k = 0; k < v.size(); ++k) {
            out(command.purge(url, result, v.at(k), k > 0));
            out(command.fetch(url, v.at(k)));
        }
    };
    QList<qsizetype> purged;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            purged << i;
    }
    if (!lanes) {
        for (const qsizetype i : std::as_const(purged)) {
            const QString result = command.folderFile(resultName(i));
            requests(i, [&](const QString &text) { line(i, text, result); });
        }
        return;
    }
    const bool curl = client.kind() == CacheClient::Kind::Curl;
    const bool cmd = dialect == ShellDialect::Cmd;
    const QList<qsizetype> starts = laneStarts(purged.size(), dialect, client);
    if (starts.isEmpty())
        return;
    const QString runPath = lanes->runPath();
    const LaneLines frame(dialect, command, laneMark(runPath), std::min(kLanes, purged.size()));
    if (curl && !cmd)
        line(-1, frame.curlPrologue(), QString());
    QStringList laneNames;
    for (qsizetype lane = 0; lane < starts.size(); ++lane) {
        const qsizetype end = lane + 1 < starts.size() ? starts.at(lane + 1) : purged.size();
        const QString prefix = lanePrefix(runPath, lane);
        // cmd.exe: the lane's lines go to a batch file of its own.
        const QString name = prefix.mid(std::max(prefix.lastIndexOf(u'/'), prefix.lastIndexOf(u'\\')) + 1);
        QStringList laneScript;
        const auto out = [&](qsizetype i, const QString &text, const QString &result) {
            if (cmd)
                laneScript << text;
            else
                line(i, text, result);
        };
        if (!cmd)
            line(-1, frame.open(), QString());
        if (!curl) {
            for (qsizetype at = starts.at(lane); at < end; ++at) {
                const qsizetype i = purged.at(at);
                const QString result = command.folderFile(resultName(i));
                if (cmd)
                    line(i, QString(), result);
                requests(i, [&](const QString &text) { out(i, text, result); });
            }
        } else {
            // Operations one after another, "next" between them. On sh a
            // config a round, each holding one request of each line's: value
            // k's PURGE in round 2k and its GET in round 2k + 1, so that the
            // transfers at once never take one line's requests out of their
            // order. (Squid finds a line's other copies through the one its
            // plain request has; that is back only once its GET has run.)
            QStringList rounds{QString()};
            const auto operation = [&](qsizetype round, const QString &text) {
                if (cmd)
                    round = 0;
                while (rounds.size() <= round)
                    rounds << QString();
                if (!rounds[round].isEmpty())
                    rounds[round] += QStringLiteral("next\n");
                rounds[round] += text;
            };
            // cmd.exe: each PURGE that failed is sent once more on a line of its own.
            QStringList again;
            QList<std::pair<qsizetype, qsizetype>> joins;
            for (qsizetype at = starts.at(lane); at < end; ++at) {
                const qsizetype i = purged.at(at);
                const QString &url = lines.at(i);
                line(i, QString(), command.folderFile(resultName(i)));
                const QStringList v = values(i);
                const qsizetype last = std::max<qsizetype>(v.size(), 1) - 1;
                const auto purge = [&](qsizetype value, const QString &encoding) {
                    const QString part = cmd ? LaneLines::cmdPart(name, i, value)
                            : last > 0       ? LaneLines::partPath(prefix, i, value)
                                             : command.folderFile(resultName(i));
                    operation(2 * value,
                              command.operation(url, encoding, true, frame.writeOut(i, value, cmd ? -1 : last), part));
                    if (cmd)
                        again << QStringLiteral("if exist \"") + LaneLines::cmdFailed(name, i, value)
                                        + QStringLiteral("\" ") + command.purge(url, part, encoding);
                };
                if (v.isEmpty())
                    purge(0, QString());
                for (qsizetype k = 0; k < v.size(); ++k) {
                    purge(k, v.at(k));
                    operation(2 * k + 1,
                              command.operation(url, v.at(k), false, cmd ? frame.writeOut(-1, 0) : QString()));
                }
                joins.append({i, last});
            }
            lanes->config(lane, rounds.at(0));
            if (cmd) {
                laneScript << frame.cmdCurlHead(name) << again << LaneLines::cmdCurlTail(name, joins);
            } else {
                for (qsizetype round = 1; round < rounds.size(); ++round) {
                    if (lanes->round)
                        lanes->round(lane, round, rounds.at(round));
                }
                for (const QString &text : frame.curl(prefix, folder.path(), rounds.size()))
                    line(-1, text, QString());
            }
        }
        if (cmd) {
            laneScript << LaneLines::cmdEnd(name);
            lanes->script(lane, laneScript);
            line(-1, frame.cmdStart(name), QString());
            laneNames << name;
        } else {
            line(-1, frame.close(), QString());
        }
    }
    if (cmd) {
        for (const QString &text : LaneLines::cmdWait(laneNames))
            line(-1, text, QString());
    } else {
        line(-1, frame.waitAll(), QString());
    }
}

namespace {
// Writes the purge script (see Purge::run) and gives back the path to start;
// its lanes' files stay, to be started or discarded. `shown`, when given, gets
// what the result files held before.
QString writeScript(const AppFolder &folder, const QString &server, const QString &urls,
                    ScriptRunner::StartedScript *last, QList<qsizetype> *purged, int *answers,
                    const Purge::LineValues &values, const QStringList &valueList, QString *shown)
{
    const CacheClient client = CacheClient::find(folder);
    const ShellDialect dialect = nativeShellDialect();
    const CodePages codePages = CodePages::ofSystem();
    const QString path = Purge::scriptPath(folder);
    const QStringList encodings = values ? valueList : EncodingList(folder).load();
    if (answers && !values)
        *answers = 1 + int(encodings.size());
    std::optional<ScriptWriter> writer;
    const auto create = [&] {
        if (last)
            ScriptRunner::stop(*last);
        writer.emplace(path, dialect, codePages);
        writer->writeRunCopy();
    };
    ResultReader reader;
    qsizetype lastLine = -1;
    if (purged)
        purged->clear();
    // A lane's config file goes unless the script is written whole.
    QStringList configs;
    auto removeConfigs = qScopeGuard([&configs] {
        for (const QString &config : std::as_const(configs))
            QFile::remove(config);
    });
    Purge::Lanes lanes;
    lanes.runPath = [&] {
        create();
        return writer->runPath();
    };
    const auto companion = [&](const QString &path, const QByteArray &bytes) {
        configs << path;
        CompanionFile::write(path, bytes);
    };
    lanes.config = [&](qsizetype lane, const QString &text) {
        companion(LaneLines::configPath(Purge::lanePrefix(writer->runPath(), lane)),
                  dialect == ShellDialect::Cmd ? CurlConfigQuote::toAnsi(codePages, text) : text.toLocal8Bit());
    };
    lanes.round = [&](qsizetype lane, qsizetype round, const QString &text) {
        companion(LaneLines::roundPath(Purge::lanePrefix(writer->runPath(), lane), round), text.toLocal8Bit());
    };
    lanes.script = [&](qsizetype lane, const QStringList &lines) {
        companion(Purge::lanePrefix(writer->runPath(), lane) + QStringLiteral(".bat"),
                  CodePageRule::toAnsi(codePages, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    };
    Purge::script(
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
                if (shown)
                    reader.append(*shown, result);
                if (purged)
                    purged->append(urlLine);
            },
            encodings, &lanes, values);
    // Nothing to purge still gives an (empty) script, started as any other.
    if (!writer)
        create();
    writer->close();
    if (shown)
        reader.finish(*shown, ResultReader::Kind::Purge);
    removeConfigs.dismiss();
    return writer->runPath();
}
} // namespace

QString Purge::run(const AppFolder &folder, const QString &server, const QString &urls,
                   ScriptRunner::StartedScript *last, QList<qsizetype> *purged, int *answers,
                   const LineValues &values, const QStringList &valueList)
{
    QString shown;
    Written written;
    written.runPath = writeScript(folder, server, urls, last, purged, answers, values, valueList, &shown);
    const ScriptRunner::StartedScript started = start(written);
    if (last)
        *last = started;
    return shown;
}

Purge::Written Purge::write(const AppFolder &folder, const QString &server, const QString &urls,
                            const LineValues &values, const QStringList &valueList)
{
    Written written;
    written.runPath = writeScript(folder, server, urls, nullptr, &written.purged, nullptr, values, valueList, nullptr);
    return written;
}

ScriptRunner::StartedScript Purge::start(const Written &written)
{
    // ScriptRunner::start leaves nothing of a script that does not start.
    return ScriptRunner::start(written.runPath);
}

void Purge::Written::discard() const
{
    if (runPath.isEmpty())
        return;
    QFile::remove(runPath);
    CompanionFile::removeAll(runPath);
}

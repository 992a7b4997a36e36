#pragma once

#include "commands/actions/resultreader.h"
#include "commands/scriptlines/cacheclient.h"
#include "commands/scriptlines/codepages.h"
#include "commands/scriptlines/shelldialect.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/appfolder.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The purge action: writes test.bat with the client's purges of every non-empty
// URL line, starts it, and gives back what the result files of those line
// numbers held before the start (the previous run's answers, or the
// missing-file text).
//
// A server that answers "Vary: Accept-Encoding" keeps one copy of a URL per
// value a client sent, behind a marker under the URL itself, and a PURGE
// reaches only the copy of its own value (Squid 5) or just the marker (Squid 6
// and 7), after which the other copies come back as soon as anything fetches
// the URL again. So for each Accept-Encoding value of EncodingList (none
// first) a URL line gets a PURGE with that value, its answer into the line's
// result file (the first written afresh, the others added to it), and then a
// GET with the value, answer discarded: it fetches that copy afresh from the
// origin and puts the marker back, so the next value's PURGE finds its copy.
// Without values a line is one PURGE, as it always was.
//
// The URL lines run in lanes at once (see LaneLines), a lane a run of
// consecutive lines in their order, each line's requests together in it as
// above: a process per request was what a purge cost, not the cache. With
// curl on sh the lanes are one curl's transfers at once, in rounds: every
// line's first PURGE, then its first GET, then its second PURGE, and so on.
namespace Purge {

// How many lanes a purge of many lines has; fewer lines get one each.
constexpr qsizetype kLanes = 8;

// Where each lane of a purge of `lines` URL lines starts, as an index into
// those lines; one entry a lane, none for no lines.
QList<qsizetype> laneStarts(qsizetype lines);
// The same for a script of `dialect` with `client`: curl on sh runs its lanes
// as the transfers of one process, its lines one run in their order.
QList<qsizetype> laneStarts(qsizetype lines, ShellDialect dialect, const CacheClient &client);

// A URL line's Accept-Encoding values, in the order its copies are refreshed
// with them: a PURGE and a GET each, a null value sending no header. None: one
// PURGE alone.
using LineValues = std::function<QStringList(qsizetype urlLine)>;

// What lanes need beyond the script's lines (see script()).
struct Lanes
{
    // Called once every text has passed, before the first line: the path of
    // the run copy, whose name the lanes' own files are named after.
    std::function<QString()> runPath;
    // curl: lane number `lane`'s config file, whole.
    std::function<void(qsizetype lane, const QString &config)> config;
    // cmd.exe: lane number `lane`'s batch file, its lines in order.
    std::function<void(qsizetype lane, const QStringList &lines)> script;
    // curl on sh: the config file of each round after the first (see
    // LaneLines::roundPath); `config` gives the first's.
    std::function<void(qsizetype lane, qsizetype round, const QString &config)> round;
};

// The files of lane `lane` of the run copy at runPath are named
// "<prefix>.<what>" (see LaneLines).
QString lanePrefix(const QString &runPath, qsizetype lane);
// The mark of the lanes' answers: the run copy's own random part.
QString laneMark(const QString &runPath);

// Calls `line` with each line of the purge script for these texts, in order,
// together with the number of the URL line it purges (counted from 0, blank
// lines skipped but counted) and the path of its result file as the line names
// it (a URL line's several lines all name the same one). Every text, the
// Accept-Encoding values included, is checked before the first call, so a
// refused one throws UnsafeTextError with nothing handed out. This is exactly
// what run() writes, for `client`; the scripts for cmd.exe can be made on any
// platform.
//
// Each URL line is refreshed with `values` of its own, where given; every value
// it gives must be among `encodings`, which are checked. Without, a line gets
// none and then each of `encodings`, or, without those, one plain PURGE.
//
// With `lanes`, the script runs in lanes: its lines then also frame the lanes
// (urlLine -1); with curl, or for cmd.exe, whose lanes' requests are in files
// of their own, no line is a request, and each URL line is still handed out
// once, in order, with a null line. Without it, one line after another as
// they always ran.
void script(const AppFolder &folder, const QString &server, const QString &urls, ShellDialect dialect,
            const CodePages &codePages, const CacheClient &client,
            const std::function<void(qsizetype urlLine, const QString &line, const QString &result)> &line,
            const QStringList &encodings = QStringList(), const Lanes *lanes = nullptr,
            const LineValues &values = LineValues());

// Checks every text run() would (the URLs and encodings.txt's values) and
// throws as it does, touching no file; gives back urls' lines.
QStringList check(const AppFolder &folder, const QString &server, const QString &urls);

// Line i of urls is purged with its answers in nslookup<i>.txt, by the client
// CacheClient::find gives, for the values of the folder's EncodingList. Throws
// NoClientError or UnsafeTextError before any file is touched, and FileError
// (encodings.txt unreadable too) when a file
// operation fails (then nothing is started). What is shown is cut at
// ResultReader's limit.
//
// `last`, when given, is the purge started before: if it still runs, it is
// ended (with its squidclient) once every text has passed and before test.bat
// is rewritten under it; afterwards it names the purge started now.
//
// `purged`, when given, gets the numbers of the URL lines the script purges, in
// the order it runs them, and `answers` how many answers each line's result
// file is to hold (one, and one for each Accept-Encoding value).
//
// With `values`, each line is refreshed with values of its own instead (see
// script()), every one of which is among `valueList`, checked in place of
// encodings.txt's; `answers` is then not set.
QString run(const AppFolder &folder, const QString &server, const QString &urls,
            ScriptRunner::StartedScript *last = nullptr, QList<qsizetype> *purged = nullptr, int *answers = nullptr,
            const LineValues &values = LineValues(), const QStringList &valueList = QStringList());

// A purge script written by write() and not started yet.
struct Written
{
    QString runPath;
    // The URL lines it purges, in the order it runs them.
    QList<qsizetype> purged;

    // Removes the run copy and the files beside it, for a script that will
    // never start.
    void discard() const;
};

// The first half of run(), without `last`, `answers` or the shown text: the
// script of these texts, written but not started. Touches no window and may
// run on any thread. Throws as run() does.
Written write(const AppFolder &folder, const QString &server, const QString &urls,
              const LineValues &values = LineValues(), const QStringList &valueList = QStringList());
// Its second half: starts what write() wrote (see ScriptRunner::start). A
// script that does not start leaves none of its files. Throws FileError.
ScriptRunner::StartedScript start(const Written &written);

// What the result files of these URL lines hold now, exactly as run() shows
// them: joined in this order, the missing-file text for a file that is not
// there, cut at ResultReader's limit. Throws FileError.
QString shown(const AppFolder &folder, const QList<qsizetype> &urlLines);
// The same appended to `shown`, with `reader`'s limit, which several
// servers' result files then share; the caller ends it (ResultReader::finish).
// Stops between two files once `cancelled` is set.
void appendShown(ResultReader &reader, QString &shown, const AppFolder &folder, const QList<qsizetype> &urlLines,
                 const std::atomic_bool *cancelled = nullptr);

QString scriptPath(const AppFolder &folder);
// "nslookup<line>.txt"
QString resultName(qsizetype line);
QString resultPath(const AppFolder &folder, qsizetype line);
// "URL line 2 (nslookup1.txt)" for line 1, as a refused line is named.
QString urlLineName(qsizetype line);

} // namespace Purge

#pragma once

#include "commands/scriptlines/shelldialect.h"
#include "commands/scriptlines/squidclientline.h"

#include <QByteArrayView>
#include <QString>
#include <QList>
#include <QStringList>

#include <utility>

// The lines that run a purge in lanes: each lane a background job of the
// script, its URL lines one after another as they stand, and the script's
// last line waits for every lane, so the script ends with the last of them.
//
// With curl on sh, a purge's lanes are the transfers at once of one curl in
// its parallel mode, in rounds (see Purge::script), each round a curl of its
// own reading its requests from a config file (see
// SquidclientLine::operation): each PURGE's answer goes straight to its URL
// line's result file, or, for a line of several values, to a part of its own
// in a folder beside the configs; curl's write-outs (the mark, which line and
// value, the HTTP status, 000 without an answer, and how much came) go to one
// file, and its own error lines to another, one for each request that failed,
// in the order they ended. Once the last round has ended, awk adds each
// failed request's error line to its file and joins each line's parts in
// their order into its result file. Each result file is written in place as
// it comes, as the redirection of a squidclient line writes it. The lane's
// files are all named "<prefix>.<what>" and go with it.
//
// cmd.exe has neither "&" jobs nor awk, and reads a batch file again from
// disk at every goto, so each lane is a batch file of its own beside the run
// copy, "<name>.bat", started with "start /b" by a script that then waits
// for every lane's "<name>.end", which a lane leaves as its last act. All of
// a lane's own files are named relative to the folder cmd.exe runs in (see
// CmdStartLine), so no folder text ever stands in them. A curl lane gives
// each PURGE's answer a file of its own ("<name>.d\<URL line>.<value>"), and
// once curl has ended joins each line's with copy /b into a new file that
// move puts in place: a line is either as it was or whole. cmd.exe cannot
// safely cut curl's error lines apart by text, so a PURGE whose status is
// 000 is sent once more the way a script without lanes sends it, its answer
// or curl's own complaint in place of its part.
class LaneLines
{
public:
    // Lines of a lane's answers, the same for all of a purge.
    // curl on sh: `lanes` transfers at once.
    LaneLines(ShellDialect dialect, const SquidclientLine &command, const QString &mark, qsizetype lanes = 1);

    // The script's first line when its lanes are curl's: the join's awk
    // program, once for all of them.
    QString curlPrologue() const;
    QString open() const;
    QString close() const;
    QString waitAll() const;

    // The lines of sh's curl between open() and close(): `prefix` names its
    // files (see roundPath) and `folder` is where the result files go; one
    // curl for each of `rounds` configs, in their order.
    QStringList curl(const QString &prefix, const QString &folder, qsizetype rounds) const;

    // A curl operation's write-out: the mark, then which line and value, or
    // "-" for urlLine -1. With `last` (sh), the number of the line's last
    // value follows, and after the status the header and body bytes that came.
    QString writeOut(qsizetype urlLine, qsizetype value, qsizetype last = -1) const;

    // cmd.exe: `name` is a lane's file name without a folder, the same as
    // the file name of its prefix.
    QString cmdStart(const QString &name) const;
    // The script's lines after every lane has started: wait for them all.
    static QStringList cmdWait(const QStringList &names);
    // A lane's last line: it has ended, and takes its own batch file away.
    static QString cmdEnd(const QString &name);
    // A curl lane's lines up to the PURGEs sent again, and after them; the
    // latter join each of `lines` (a URL line and the number of its last
    // value) once its last answer is there.
    QStringList cmdCurlHead(const QString &name) const;
    static QStringList cmdCurlTail(const QString &name, const QList<std::pair<qsizetype, qsizetype>> &lines);
    // Where that PURGE's answer goes, and the file that says it failed.
    static QString cmdPart(const QString &name, qsizetype urlLine, qsizetype value);
    static QString cmdFailed(const QString &name, qsizetype urlLine, qsizetype value);

    static QString configPath(const QString &prefix);
    static QString answersPath(const QString &prefix);
    // sh: round `round`'s config, the first's configPath(); the odd rounds
    // are GETs.
    static QString roundPath(const QString &prefix, qsizetype round);
    // sh: where a PURGE of a line with several values writes its answer.
    static QString partPath(const QString &prefix, qsizetype urlLine, qsizetype value);

    // The URL line of the last answer in `tail`, the end of a lane's answers
    // so far; -1 when it holds none.
    static qsizetype lastAnswered(QByteArrayView tail, const QString &mark);

private:
    ShellDialect m_dialect;
    const SquidclientLine &m_command;
    QString m_mark;
    qsizetype m_lanes;
};

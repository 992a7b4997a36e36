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
// With curl a lane is one curl over one kept-alive connection, reading its
// requests from a config file of its own (see SquidclientLine::operation).
// A PURGE's answer goes to curl's standard output, followed by the lane's
// mark and what it was ("<URL line>.<value>", "-" for a GET, and the HTTP
// status, 000 without an answer); curl's own error lines go to a file
// beside it, one for each request that failed, in their order. Once curl has
// ended, awk (one process for the whole lane) gives each line's PURGE
// answers, each with the error line of its request where it failed, to a
// new file of the line's result file's name in a folder of the lane's own,
// and mv puts them in place, each whole in one rename: a lane that is
// stopped leaves every result file either as it was or written whole. The
// lane's files are all named "<prefix>.<what>" and go with the lane.
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
    LaneLines(ShellDialect dialect, const SquidclientLine &command, const QString &mark);

    // The script's first line when its lanes are curl's: the join's awk
    // program, once for all of them.
    QString curlPrologue() const;
    QString open() const;
    QString close() const;
    QString waitAll() const;

    // The lines of a curl lane between open() and close(): `prefix` names
    // its files (see configPath) and `folder` is where the result files go.
    QStringList curl(const QString &prefix, const QString &folder) const;

    // A curl operation's write-out: the mark, then which line and value, or
    // "-" for urlLine -1. With `last`, the number of the line's last value
    // follows: awk writes a line's result file once that one has come.
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

    // The URL line of the last answer in `tail`, the end of a lane's answers
    // so far; -1 when it holds none.
    static qsizetype lastAnswered(QByteArrayView tail, const QString &mark);

private:
    ShellDialect m_dialect;
    const SquidclientLine &m_command;
    QString m_mark;
};

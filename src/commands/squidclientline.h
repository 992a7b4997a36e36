#pragma once

#include "commands/shelldialect.h"
#include "storage/appfolder.h"

#include <QString>

// Builds the squidclient command lines of the scripts for one server:
//   <folder>/squidclient -h <server> -p 80 <arguments> > "<result file>" 2>&1
// The program path, the server and every text from the window are quoted for the
// dialect (see ShellQuote); ordinary texts come out exactly as typed. The error
// stream goes to the result file too, so a server that cannot be reached leaves
// squidclient's own complaint there instead of an empty file.
class SquidclientLine
{
public:
    // Throws UnsafeTextError when the folder or the server cannot be quoted, or
    // the folder is one cmd.exe cannot start a script in (see CmdStartLine).
    SquidclientLine(ShellDialect dialect, const AppFolder &folder, const QString &server);

    // Checks a text that will be the argument after the options (the request);
    // throws UnsafeTextError when it cannot be quoted or starts with "-".
    void check(const QString &text, const QString &what) const;
    // The same for URL line `line` (counted from 0), naming it only when refused.
    void checkUrl(const QString &url, qsizetype line) const;

    // The purge of url; its output goes to resultPath.
    QString purge(const QString &url, const QString &resultPath) const;

    // A cache-manager request. An empty request adds no argument at all.
    QString status(const QString &request, const QString &resultPath) const;

private:
    QString refusal(const QString &argument) const;
    QString redirect(const QString &resultPath) const;

    ShellDialect m_dialect;
    QString m_head; // program, host and port: the same for every line
};

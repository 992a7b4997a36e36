#pragma once

#include "commands/scriptlines/cacheclient.h"
#include "commands/scriptlines/codepages.h"
#include "commands/scriptlines/shelldialect.h"
#include "storage/appfolder.h"

#include <QString>

// Builds the client's command lines of the scripts for one server:
//   <folder>/squidclient -h <server> -p 80 <arguments> > "<result file>" 2>&1
// or, with curl (see CacheClient),
//   <curl> -q -sS -i -g -x "" --connect-timeout 10 <timeout> <arguments> http://<server>:80/ > "<result file>" 2>&1
// curl sends each text exactly as squidclient does, as the request target
// (--request-target), which curl neither parses, globs nor reads as a file
// name; -q keeps the operator's .curlrc out and -x "" any proxy of the
// environment; -i writes the status line and headers, as squidclient does, and
// -sS only curl's errors. A cache-manager request "mgr:..." becomes the path every
// Squid answers (see ManagerRequest).
// The program path, the server and every text from the window are quoted for the
// dialect (see ShellQuote); ordinary texts come out exactly as typed. The error
// stream goes to the result file too, so a server that cannot be reached leaves
// the client's own complaint there instead of an empty file.
//
// For cmd.exe every text must also come through the code pages unchanged (see
// CodePageRule), the folder must be one cmd.exe can start a script in (see
// CmdStartLine), and the program path is a Windows one whatever we were built on.
class SquidclientLine
{
public:
    // Throws UnsafeTextError when the folder or the server cannot be passed.
    SquidclientLine(ShellDialect dialect, const AppFolder &folder, const QString &server,
                    const CodePages &codePages = CodePages::ofSystem(),
                    const CacheClient &client = CacheClient::squidclient());

    // Checks a text that will be the argument after the options (the request);
    // throws UnsafeTextError when it cannot be quoted or squidclient would read
    // it as an option.
    void check(const QString &text, const QString &what) const;
    // The same for URL line `line` (counted from 0) whose answer goes to the
    // result file resultName(line); both name it when it is refused. The name is
    // made only then: a purge checks 100,000 lines.
    void checkUrl(const QString &url, qsizetype line, QString (*resultName)(qsizetype)) const;
    // How the operator is told of URL line `line` (counted from 0): by its line
    // in the box, counted from 1, and by its result file, e.g. "URL line 2
    // (nslookup1.txt)".
    static QString urlLineName(qsizetype line, const QString &resultName);

    // Checks Accept-Encoding value number `index` (counted from 0) of the purge
    // and keeps the longest for checkUrl's length check; throws UnsafeTextError
    // when it cannot be passed, or holds a control character that would end or
    // split the header. Before checkUrl.
    void checkEncoding(const QString &value, qsizetype index);

    // The purge of url, with "Accept-Encoding: <encoding>" unless that is
    // empty; its output goes to resultPath, or is added to its end.
    QString purge(const QString &url, const QString &resultPath, const QString &encoding = QString(),
                  bool append = false) const;
    // A GET of url with that Accept-Encoding, whose answer is thrown away: the
    // cache fetches the object afresh, which puts back the Vary marker a purge
    // removes (see Purge).
    QString fetch(const QString &url, const QString &encoding) const;

    // curl: one operation of a lane's config file (see LaneLines), the purge
    // of url or, with purge false, the GET whose answer is thrown away, with
    // today's options, each as an option line. curl writes `writeOut` after
    // the operation's answer, on its standard output as the purge's answer
    // unless `output` names a file for it.
    QString operation(const QString &url, const QString &encoding, bool purge, const QString &writeOut,
                      const QString &output = QString()) const;
    // curl: its program and the options of the whole run, for a lane's line.
    QString laneHead() const;

    // A cache-manager request, "mgr:..." in the form every Squid answers, any
    // other text as it is. An empty request adds no argument at all. curl
    // takes a password from the config file at configPath (see config()).
    // With `stallSeconds`, the client gives up once that long passes without
    // a byte (curl's 120 s otherwise, squidclient's own), and a squidclient
    // that gave up adds "squidclient: ended early" to the result file.
    QString status(const QString &request, const QString &resultPath, const QString &configPath = QString(),
                   int stallSeconds = 0) const;
    // Whether the status line of this request reads a config file: curl's,
    // with a password.
    bool needsConfig(const QString &request) const;
    // That config file's bytes: the password as curl's "user" option, in the
    // script's encoding.
    QByteArray config(const QString &request) const;
    // A script line that removes the file at path, quietly.
    QString removal(const QString &path) const;

    // A file of the application folder as the script names it: with a backslash
    // for cmd.exe, whatever we were built on.
    QString folderFile(const QString &name) const;

private:
    // Why a text cannot go into a line at all (quoting, code pages), or empty.
    QString textRefusal(const QString &text) const;
    void checkText(const QString &text, const QString &what) const;
    // The same for an argument after the options, which must not look like one.
    QString refusal(const QString &argument) const;
    // Why cmd.exe would not read the whole of line, or empty (for cmd.exe only).
    QString lengthRefusal(const QString &line) const;
    QString redirect(const QString &resultPath, bool append = false) const;
    // " -H <Accept-Encoding header>", or empty for no value.
    QString encodingHeader(const QString &encoding) const;
    QString q(const QString &text) const;

    CacheClient m_client;
    ShellDialect m_dialect;
    CodePages m_codePages;
    AppFolder m_folder;
    QString m_head;            // program, host and port: the same for every line
    QString m_serverUrl;       // curl's last argument, " http://<server>:80/"
    QString m_host;            // curl's URL host, an IPv6 address in brackets
    QString m_longestResult;   // no result file of ours has a longer path (cmd.exe)
    QString m_longestEncoding; // of those checked: the longest line (cmd.exe)
};

#include "commands/scriptlines/squidclientline.h"

#include "commands/scriptlines/cmdstartline.h"
#include "commands/scriptlines/codepagerule.h"
#include "commands/scriptlines/curlconfigquote.h"
#include "commands/scriptlines/managerrequest.h"
#include "commands/scriptlines/refusalreason.h"
#include "commands/scriptlines/shellquote.h"
#include "commands/scriptlines/unsafetexterror.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
const QString kProgram = QStringLiteral("squidclient");
// cmd.exe reads at most this much of a script line and cuts the rest off: a cut
// URL, or a lost redirection.
constexpr qsizetype kCmdLineLimit = 8191;
// The result files are "nslookup<line>.txt" and "info.txt "; a line number has
// at most 19 digits.
constexpr qsizetype kLongestResultName = 32;
// The extra of a curl lane's PURGE sent again: "if exist " and a file of the
// lane's in quotes, with its answer going to another such file, each below
// 64 characters for a run copy's 8-digit mark and a 19-digit line number.
constexpr qsizetype kLongestLaneRetry = 160;

// cmd.exe gets the Windows path wherever the script was written; on Windows this
// is exactly AppFolder::file.
QString folderFileFor(ShellDialect dialect, const AppFolder &folder, const QString &name)
{
    if (dialect == ShellDialect::Cmd)
        return folder.path() + QLatin1Char('\\') + name;
    return folder.file(name);
}

// The client beside the program, wherever the script's results go.
QString programFileFor(ShellDialect dialect, const AppFolder &folder, const QString &name)
{
    if (dialect == ShellDialect::Cmd)
        return folder.programPath() + QLatin1Char('\\') + name;
    return folder.programFile(name);
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// A text a client sends takes no control character but a tab: a line feed or
// a lone CR would end the request line or a header and start another of the
// operator's text, which both clients pass on as it is.
QString controlRefusal(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || u == 0x7f)
            return RefusalReason::requestControl(u);
    }
    return QString();
}

// Timeouts as squidclient's own: 10 s to connect, 120 s for a request. A
// cache that accepts and never answers would otherwise hold a purge, and so
// its report and the next purge's question, for good. The status query's
// answer may rightly take longer than that (mgr:objects of a large cache):
// there, 120 s without a byte ends it, as squidclient's read timeout does.
const QString kConnectTimeout = QStringLiteral(" --connect-timeout 10");
const QString kRequestTimeout = QStringLiteral(" -m 120");
const QString kStallTimeout = QStringLiteral(" -Y 1 -y 120");

// The server as the host of curl's URL, or empty with `reason` set. curl reads
// "@" as the start of the host, "/", "?" and "#" as its end, "[" as an address
// or a glob, and would send a name with blanks or "%" somewhere else than
// squidclient does; so only what a host name or address can hold goes in. An
// IPv6 address goes in brackets, as a URL writes it.
QString urlHost(const QString &server, QString &reason)
{
    if (server.isEmpty()) {
        reason = RefusalReason::emptyHost();
        return QString();
    }
    const bool bracketed
            = server.size() > 2 && server.startsWith(QLatin1Char('[')) && server.endsWith(QLatin1Char(']'));
    const QString inner = bracketed ? server.mid(1, server.size() - 2) : server;
    const auto inAddress = [](QChar c) { return isHexDigit(c) || c == QLatin1Char(':') || c == QLatin1Char('.'); };
    const bool ipv6 = inner.contains(QLatin1Char(':')) && std::all_of(inner.begin(), inner.end(), inAddress);
    for (qsizetype i = 0; i < inner.size() && !ipv6; ++i) {
        const QChar c = inner.at(i);
        if (!ShellQuote::isAsciiAlnum(c) && c != QLatin1Char('.') && c != QLatin1Char('-') && c != QLatin1Char('_')) {
            // Named whole, never half of a pair.
            const qsizetype length = c.isHighSurrogate() && i + 1 < inner.size() ? 2 : 1;
            reason = RefusalReason::notInHostName(inner.mid(i, length));
            return QString();
        }
    }
    if (bracketed && !ipv6) {
        reason = RefusalReason::notInHostName(QStringLiteral("["));
        return QString();
    }
    return ipv6 ? QLatin1Char('[') + inner + QLatin1Char(']') : inner;
}
} // namespace

SquidclientLine::SquidclientLine(ShellDialect dialect, const AppFolder &folder, const QString &server,
                                 const CodePages &codePages, const CacheClient &client)
    : m_client(client)
    , m_dialect(dialect)
    , m_codePages(codePages)
    , m_folder(folder)
{
    const QString folderWhat = QCoreApplication::translate("SquidclientLine", "The application folder");
    checkText(folder.path(), folderWhat);
    if (dialect == ShellDialect::Cmd) {
        const QString reason = CmdStartLine::folderRefusal(folder.path());
        if (!reason.isEmpty())
            throw UnsafeTextError(folderWhat, folder.path(), reason);
    }
    const QString serverWhat = QCoreApplication::translate("SquidclientLine", "The server");
    checkText(server, serverWhat);
    if (const QString reason = controlRefusal(server); !reason.isEmpty())
        throw UnsafeTextError(serverWhat, server, reason);
    if (client.kind() == CacheClient::Kind::Squidclient) {
        m_head = q(programFileFor(dialect, folder, kProgram)) + QStringLiteral(" -h ") + q(server)
                + QStringLiteral(" -p 80");
    } else {
        checkText(client.program(), QCoreApplication::translate("SquidclientLine", "curl's path"));
        QString reason;
        const QString host = urlHost(server, reason);
        if (host.isEmpty())
            throw UnsafeTextError(serverWhat, server, reason);
        m_head = q(client.program()) + QStringLiteral(" -q -sS -i -g -x ") + q(QString()) + kConnectTimeout;
        m_host = host;
        m_serverUrl = QStringLiteral(" http://") + host + QStringLiteral(":80/");
    }
    if (dialect == ShellDialect::Cmd) {
        m_longestResult = folder.path() + QLatin1Char('\\') + QString(kLongestResultName, QLatin1Char('x'));
        // A curl lane sends a failed PURGE again on a line that starts with
        // "if exist" and a file of the lane's, its answer into another (see
        // LaneLines): no longer than a result path of this many characters.
        if (client.kind() == CacheClient::Kind::Curl)
            m_longestResult = m_longestResult.leftJustified(kLongestLaneRetry, QLatin1Char('x'));
        // Every line holds the server: one that fills a line alone is named as such.
        const QString reason = lengthRefusal(purge(QStringLiteral("x"), m_longestResult));
        if (!reason.isEmpty())
            throw UnsafeTextError(serverWhat, server, reason);
    }
}

QString SquidclientLine::textRefusal(const QString &text) const
{
    const QString reason = ShellQuote::refusal(m_dialect, text);
    if (!reason.isEmpty() || m_dialect != ShellDialect::Cmd)
        return reason;
    return CodePageRule::refusal(m_codePages, text);
}

void SquidclientLine::checkText(const QString &text, const QString &what) const
{
    const QString reason = textRefusal(text);
    if (!reason.isEmpty())
        throw UnsafeTextError(what, text, reason);
}

QString SquidclientLine::refusal(const QString &argument) const
{
    QString reason = textRefusal(argument);
    if (reason.isEmpty())
        reason = controlRefusal(argument);
    if (!reason.isEmpty())
        return reason;
    // Quoting keeps it one argument, but squidclient would still read it as an
    // option: "-h other" would address another host. curl gets it as the value
    // of --request-target, which takes any text.
    if (m_client.kind() == CacheClient::Kind::Squidclient && argument.startsWith(QLatin1Char('-')))
        return RefusalReason::leadingDash();
    return QString();
}

QString SquidclientLine::lengthRefusal(const QString &line) const
{
    // Counted in bytes as written: a double-byte code page (936) may count a
    // character twice, and a refusal too many is better than a cut line.
    const qsizetype length = CodePageRule::toAnsi(m_codePages, line).size();
    return length > kCmdLineLimit ? RefusalReason::lineTooLong(length, kCmdLineLimit) : QString();
}

void SquidclientLine::check(const QString &text, const QString &what) const
{
    QString reason = refusal(text);
    if (reason.isEmpty() && m_dialect == ShellDialect::Cmd)
        reason = lengthRefusal(status(text, m_longestResult, m_longestResult));
    if (!reason.isEmpty())
        throw UnsafeTextError(what, text, reason);
}

void SquidclientLine::checkUrl(const QString &url, qsizetype line, QString (*resultName)(qsizetype)) const
{
    QString reason = refusal(url);
    if (reason.isEmpty() && m_dialect == ShellDialect::Cmd)
        reason = lengthRefusal(purge(url, m_longestResult, m_longestEncoding));
    // Counted from 1 as the operator counts lines, and named by the result file,
    // whose number counts from 0: one name for the box and the folder alike.
    if (!reason.isEmpty())
        throw UnsafeTextError(urlLineName(line, resultName(line)), url, reason);
}

QString SquidclientLine::urlLineName(qsizetype line, const QString &resultName)
{
    return QCoreApplication::translate("SquidclientLine", "URL line %1 (%2)").arg(line + 1).arg(resultName);
}

void SquidclientLine::checkEncoding(const QString &value, qsizetype index)
{
    const QString what
            = QCoreApplication::translate("SquidclientLine", "Accept-Encoding value %1 (encodings.txt)").arg(index + 1);
    QString reason = textRefusal(value);
    // A line break would end the header and start another one of the
    // operator's text; a tab is a blank within a header.
    for (qsizetype i = 0; i < value.size() && reason.isEmpty(); ++i) {
        const char16_t u = value.at(i).unicode();
        if ((u < 0x20 && u != u'\t') || u == 0x7f)
            reason = RefusalReason::headerControl(u);
    }
    if (!reason.isEmpty())
        throw UnsafeTextError(what, value, reason);
    if (m_dialect == ShellDialect::Cmd
        && CodePageRule::toAnsi(m_codePages, encodingHeader(value)).size()
                > CodePageRule::toAnsi(m_codePages, encodingHeader(m_longestEncoding)).size()) {
        m_longestEncoding = value;
        const QString lengthReason = lengthRefusal(purge(QStringLiteral("x"), m_longestResult, value));
        if (!lengthReason.isEmpty())
            throw UnsafeTextError(what, value, lengthReason);
    }
}

QString SquidclientLine::encodingHeader(const QString &encoding) const
{
    if (encoding.isEmpty())
        return QString();
    const QString header = QStringLiteral("Accept-Encoding: ") + encoding;
    if (m_client.kind() == CacheClient::Kind::Curl)
        return QStringLiteral(" -H ") + q(header);
    // squidclient reads "\\", "\n", "\r" and "\t" in it as escapes and adds
    // no line end of its own.
    return QStringLiteral(" -H ") + q(QString(header).replace(u'\\', QStringLiteral("\\\\")) + QStringLiteral("\\n"));
}

QString SquidclientLine::purge(const QString &url, const QString &resultPath, const QString &encoding,
                               bool append) const
{
    if (m_client.kind() == CacheClient::Kind::Curl)
        return m_head + kRequestTimeout + encodingHeader(encoding) + QStringLiteral(" -X PURGE --request-target ")
                + q(url) + m_serverUrl + redirect(resultPath, append);
    return m_head + encodingHeader(encoding) + QStringLiteral(" -m purge ") + q(url) + redirect(resultPath, append);
}

QString SquidclientLine::fetch(const QString &url, const QString &encoding) const
{
    const QString discard
            = m_dialect == ShellDialect::Cmd ? QStringLiteral(" > NUL 2>&1") : QStringLiteral(" > /dev/null 2>&1");
    if (m_client.kind() == CacheClient::Kind::Curl)
        return m_head + kRequestTimeout + encodingHeader(encoding) + QStringLiteral(" --request-target ") + q(url)
                + m_serverUrl + discard;
    return m_head + encodingHeader(encoding) + QLatin1Char(' ') + q(url) + discard;
}

QString SquidclientLine::operation(const QString &url, const QString &encoding, bool purge,
                                   const QString &writeOut, const QString &output) const
{
    // -g, -x "", -i and the time-outs of today's lines, for each operation:
    // after "next" curl starts every option afresh.
    QString lines = QStringLiteral("include\ngloboff\n") + CurlConfigQuote::option("proxy", QString())
            + QStringLiteral("\nconnect-timeout = 10\nmax-time = 120\n");
    if (!encoding.isEmpty())
        lines += CurlConfigQuote::option("header", QStringLiteral("Accept-Encoding: ") + encoding) + QLatin1Char('\n');
    if (purge) {
        lines += CurlConfigQuote::option("request", QStringLiteral("PURGE")) + QLatin1Char('\n');
        if (!output.isEmpty())
            lines += CurlConfigQuote::option("output", output) + QLatin1Char('\n');
    } else
        lines += CurlConfigQuote::option("output", m_dialect == ShellDialect::Cmd ? QStringLiteral("NUL")
                                                                                 : QStringLiteral("/dev/null"))
                + QLatin1Char('\n');
    return lines + CurlConfigQuote::option("request-target", url) + QLatin1Char('\n')
            + CurlConfigQuote::option("url", QStringLiteral("http://") + m_host + QStringLiteral(":80/"))
            + QLatin1Char('\n') + CurlConfigQuote::option("write-out", writeOut) + QLatin1Char('\n');
}

QString SquidclientLine::laneHead() const
{
    return q(m_client.program()) + QStringLiteral(" -q -sS");
}

bool SquidclientLine::needsConfig(const QString &request) const
{
    return m_client.kind() == CacheClient::Kind::Curl && ManagerRequest::parse(request).withPassword;
}

QByteArray SquidclientLine::config(const QString &request) const
{
    const ManagerRequest manager = ManagerRequest::parse(request);
    const QString text = QStringLiteral("user = ")
            + CurlConfigQuote::quote(ManagerRequest::userName() + QLatin1Char(':') + manager.password) + QLatin1Char('\n');
    return m_dialect == ShellDialect::Cmd ? CurlConfigQuote::toAnsi(m_codePages, text) : text.toLocal8Bit();
}

QString SquidclientLine::removal(const QString &path) const
{
    if (m_dialect == ShellDialect::Cmd)
        return QStringLiteral("del ") + q(path) + QStringLiteral(" > NUL 2>&1");
    return QStringLiteral("rm -f -- ") + q(path);
}

QString SquidclientLine::status(const QString &request, const QString &resultPath, const QString &configPath,
                                int stallSeconds) const
{
    const QString stall = QString::number(stallSeconds);
    const ManagerRequest manager = ManagerRequest::parse(request);
    const QString target = manager.manager ? manager.path : request;
    QString arguments;
    if (m_client.kind() == CacheClient::Kind::Curl) {
        // The password never stands on the command line, where every user of
        // the machine can read it, but in the run's own config file.
        Q_ASSERT(!manager.withPassword || !configPath.isEmpty());
        arguments = stallSeconds > 0 ? QStringLiteral(" -Y 1 -y ") + stall : kStallTimeout;
        if (manager.withPassword)
            arguments += QStringLiteral(" -K ") + q(configPath);
        if (!target.isEmpty())
            arguments += QStringLiteral(" --request-target ") + q(target);
        return m_head + arguments + m_serverUrl + redirect(resultPath);
    }
    if (manager.withPassword)
        arguments
                = QStringLiteral(" -U ") + q(ManagerRequest::userName()) + QStringLiteral(" -W ") + q(manager.password);
    // An empty request stays empty rather than becoming an empty argument: the
    // line then has two blanks before the redirection.
    // squidclient's -T ends it with SIGALRM and not a word: the result file
    // would look whole.
    if (stallSeconds > 0)
        arguments += QStringLiteral(" -T ") + stall;
    QString line = m_head + arguments + QLatin1Char(' ') + (target.isEmpty() ? QString() : q(target))
            + redirect(resultPath);
    if (stallSeconds > 0)
        line += QStringLiteral(" || echo squidclient: ended early") + redirect(resultPath, true);
    return line;
}

QString SquidclientLine::q(const QString &text) const
{
    return ShellQuote::quote(m_dialect, text);
}

QString SquidclientLine::redirect(const QString &resultPath, bool append) const
{
    return (append ? QStringLiteral(" >> ") : QStringLiteral(" > "))
            + ShellQuote::quoteRedirectTarget(m_dialect, resultPath) + QStringLiteral(" 2>&1");
}

QString SquidclientLine::folderFile(const QString &name) const
{
    return folderFileFor(m_dialect, m_folder, name);
}

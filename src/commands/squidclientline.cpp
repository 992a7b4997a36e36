#include "commands/squidclientline.h"

#include "commands/cmdstartline.h"
#include "commands/codepagerule.h"
#include "commands/refusalreason.h"
#include "commands/shellquote.h"
#include "commands/unsafetexterror.h"

#include <QCoreApplication>

namespace {
const QString kProgram = QStringLiteral("squidclient");
// cmd.exe reads at most this much of a script line and cuts the rest off: a cut
// URL, or a lost redirection.
constexpr qsizetype kCmdLineLimit = 8191;
// The result files are "nslookup<line>.txt" and "info.txt "; a line number has
// at most 19 digits.
constexpr qsizetype kLongestResultName = 32;

// cmd.exe gets the Windows path wherever the script was written; on Windows this
// is exactly AppFolder::file.
QString folderFileFor(ShellDialect dialect, const AppFolder &folder, const QString &name)
{
    if (dialect == ShellDialect::Cmd)
        return folder.path() + QLatin1Char('\\') + name;
    return folder.file(name);
}
} // namespace

SquidclientLine::SquidclientLine(ShellDialect dialect, const AppFolder &folder, const QString &server,
                                 const CodePages &codePages)
    : m_dialect(dialect)
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
    m_head = ShellQuote::quote(dialect, folderFileFor(dialect, folder, kProgram)) + QStringLiteral(" -h ")
            + ShellQuote::quote(dialect, server) + QStringLiteral(" -p 80");
    if (dialect == ShellDialect::Cmd) {
        m_longestResult = folder.path() + QLatin1Char('\\') + QString(kLongestResultName, QLatin1Char('x'));
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
    const QString reason = textRefusal(argument);
    if (!reason.isEmpty())
        return reason;
    // Quoting keeps it one argument, but squidclient would still read it as an
    // option: "-h other" would address another host.
    if (argument.startsWith(QLatin1Char('-')))
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
        reason = lengthRefusal(status(text, m_longestResult));
    if (!reason.isEmpty())
        throw UnsafeTextError(what, text, reason);
}

void SquidclientLine::checkUrl(const QString &url, qsizetype line, QString (*resultName)(qsizetype)) const
{
    QString reason = refusal(url);
    if (reason.isEmpty() && m_dialect == ShellDialect::Cmd)
        reason = lengthRefusal(purge(url, m_longestResult));
    // Counted from 1 as the operator counts lines, and named by the result file,
    // whose number counts from 0: one name for the box and the folder alike.
    if (!reason.isEmpty())
        throw UnsafeTextError(urlLineName(line, resultName(line)), url, reason);
}

QString SquidclientLine::urlLineName(qsizetype line, const QString &resultName)
{
    return QCoreApplication::translate("SquidclientLine", "URL line %1 (%2)").arg(line + 1).arg(resultName);
}

QString SquidclientLine::purge(const QString &url, const QString &resultPath) const
{
    return m_head + QStringLiteral(" -m purge ") + ShellQuote::quote(m_dialect, url) + redirect(resultPath);
}

QString SquidclientLine::status(const QString &request, const QString &resultPath) const
{
    // An empty request stays empty rather than becoming an empty argument: the
    // line then has two blanks before the redirection.
    const QString argument = request.isEmpty() ? QString() : ShellQuote::quote(m_dialect, request);
    return m_head + QLatin1Char(' ') + argument + redirect(resultPath);
}

QString SquidclientLine::redirect(const QString &resultPath) const
{
    return QStringLiteral(" > ") + ShellQuote::quoteRedirectTarget(m_dialect, resultPath) + QStringLiteral(" 2>&1");
}

QString SquidclientLine::folderFile(const QString &name) const
{
    return folderFileFor(m_dialect, m_folder, name);
}

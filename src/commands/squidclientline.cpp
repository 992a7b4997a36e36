#include "commands/squidclientline.h"

#include "commands/cmdstartline.h"
#include "commands/shellquote.h"
#include "commands/unsafetexterror.h"

SquidclientLine::SquidclientLine(ShellDialect dialect, const AppFolder &folder, const QString &server)
    : m_dialect(dialect)
{
    const QString folderWhat = QStringLiteral("The application folder");
    ShellQuote::check(dialect, folder.path(), folderWhat);
    if (dialect == ShellDialect::Cmd) {
        const QString reason = CmdStartLine::folderRefusal(folder.path());
        if (!reason.isEmpty())
            throw UnsafeTextError(folderWhat, folder.path(), reason);
    }
    ShellQuote::check(dialect, server, QStringLiteral("The server"));
    m_head = ShellQuote::quote(dialect, folder.file(QStringLiteral("squidclient"))) + QStringLiteral(" -h ")
            + ShellQuote::quote(dialect, server) + QStringLiteral(" -p 80");
}

QString SquidclientLine::refusal(const QString &argument) const
{
    const QString reason = ShellQuote::refusal(m_dialect, argument);
    if (!reason.isEmpty())
        return reason;
    // Quoting keeps it one argument, but squidclient would still read it as an
    // option: "-h other" would address another host.
    if (argument.startsWith(QLatin1Char('-')))
        return QStringLiteral("a leading \"-\", which squidclient would take as an option");
    return QString();
}

void SquidclientLine::check(const QString &text, const QString &what) const
{
    const QString reason = refusal(text);
    if (!reason.isEmpty())
        throw UnsafeTextError(what, text, reason);
}

void SquidclientLine::checkUrl(const QString &url, qsizetype line) const
{
    const QString reason = refusal(url);
    if (!reason.isEmpty())
        throw UnsafeTextError(QStringLiteral("URL line %1").arg(line + 1), url, reason);
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

#include "commands/shellquote.h"

#include "commands/unsafetexterror.h"

namespace {

bool isAsciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// Characters each interpreter leaves alone outside quotes, in every position of a
// word that is not the command name. Anything else, non-ASCII included, is quoted.
bool passesUnchanged(ShellDialect dialect, QChar c)
{
    if (isAsciiAlnum(c))
        return true;
    const char16_t u = c.unicode();
    if (dialect == ShellDialect::Sh)
        return u == '%' || u == '+' || u == ',' || u == '-' || u == '.' || u == '/' || u == ':' || u == '=' || u == '@'
                || u == '_';
    return u == '+' || u == '-' || u == '.' || u == '/' || u == ':' || u == '@' || u == '\\' || u == '_';
}

bool isBare(ShellDialect dialect, const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!passesUnchanged(dialect, c))
            return false;
    }
    return true;
}

} // namespace

QString ShellQuote::refusal(ShellDialect dialect, const QString &text)
{
    // No argument vector can carry a NUL.
    if (text.contains(QChar(u'\0')))
        return QStringLiteral("a NUL character");
    if (dialect == ShellDialect::Sh) {
        // The runner takes CR LF as a line end and drops the CR, so a CR LF inside a
        // quoted text would lose its CR.
        if (text.contains(QStringLiteral("\r\n")))
            return QStringLiteral("a line break (CR LF)");
        return QString();
    }
    // cmd.exe has no way to quote these inside a batch file line.
    if (text.contains(QLatin1Char('"')))
        return QStringLiteral("a double quote");
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        return QStringLiteral("a line break");
    return QString();
}

void ShellQuote::check(ShellDialect dialect, const QString &text, const QString &what)
{
    const QString reason = refusal(dialect, text);
    if (!reason.isEmpty())
        throw UnsafeTextError(what, text, reason);
}

QString ShellQuote::quote(ShellDialect dialect, const QString &text)
{
    if (isBare(dialect, text))
        return text;
    return dialect == ShellDialect::Sh ? quoteSh(text) : quoteCmd(text);
}

QString ShellQuote::quoteRedirectTarget(ShellDialect dialect, const QString &path)
{
    if (dialect == ShellDialect::Sh) {
        // Inside double quotes sh still expands $ and ` and reads \ and " specially.
        for (const QChar c : path) {
            if (c == QLatin1Char('$') || c == QLatin1Char('`') || c == QLatin1Char('\\') || c == QLatin1Char('"'))
                return quoteSh(path);
        }
        return QLatin1Char('"') + path + QLatin1Char('"');
    }
    // cmd.exe opens the target itself, so only its own % expansion matters here.
    QString quoted = path;
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString ShellQuote::quoteSh(const QString &text)
{
    // Nothing is special inside single quotes but the quote itself, which ends
    // them: close, add an escaped quote, open again.
    QString inner = text;
    inner.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString ShellQuote::quoteCmd(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%%");
        else
            out += c;
    }
    // A run of backslashes right before the closing quote would escape it in the
    // program's argument parser; doubled, they come through as written.
    for (qsizetype i = text.size() - 1; i >= 0 && text.at(i) == QLatin1Char('\\'); --i)
        out += QLatin1Char('\\');
    out += QLatin1Char('"');
    return out;
}

#include "commands/scriptlines/shellquote.h"

#include "commands/scriptlines/refusalreason.h"
#include "commands/scriptlines/unsafetexterror.h"

namespace {

// Characters each interpreter leaves alone outside quotes, in every position of a
// word that is not the command name. Anything else, non-ASCII included, is quoted.
bool passesUnchanged(ShellDialect dialect, QChar c)
{
    if (ShellQuote::isAsciiAlnum(c))
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

// The first half of a UTF-16 pair that has no other half, or 0.
char16_t loneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return c.unicode();
    }
    return 0;
}

// Control characters that cmd.exe hands on unchanged inside double quotes; the
// wine check (tests/tst_windows.cpp) runs a script with each of them. CR and LF
// end the line and are refused as line breaks. Ctrl+Z arrives whole under wine,
// but the cmd.exe of Windows reads it in a batch file as a line end, so the rest
// of the line would run as a command of its own.
bool cmdPassesControl(char16_t u)
{
    return u != 0x1a;
}

bool isControl(char16_t u)
{
    return (u >= 0x01 && u <= 0x1f) || u == 0x7f;
}

} // namespace

QString ShellQuote::refusal(ShellDialect dialect, const QString &text)
{
    // No argument vector can carry a NUL.
    if (text.contains(QChar(u'\0')))
        return RefusalReason::nulCharacter();
    if (const char16_t half = loneSurrogate(text))
        return RefusalReason::loneSurrogate(half);
    if (dialect == ShellDialect::Sh) {
        // The runner takes CR LF as a line end and drops the CR, so a CR LF inside a
        // quoted text would lose its CR.
        if (text.contains(QStringLiteral("\r\n")))
            return RefusalReason::crLf();
        return QString();
    }
    // cmd.exe has no way to quote these inside a batch file line.
    if (text.contains(QLatin1Char('"')))
        return RefusalReason::doubleQuote();
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        return RefusalReason::lineBreak();
    for (const QChar c : text) {
        if (isControl(c.unicode()) && !cmdPassesControl(c.unicode()))
            return RefusalReason::controlCharacter(c.unicode());
    }
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

#pragma once

#include "commands/scriptlines/shelldialect.h"

#include <QString>

// Makes a text reach a program as exactly one argument, byte for byte, with nothing
// in it interpreted by the command interpreter. A text made only of characters the
// interpreter passes through unchanged is written as it stands, so ordinary hosts,
// URLs and paths keep their familiar look in the scripts.
namespace ShellQuote {

// ASCII letters and digits: plain to every interpreter, and in every host name.
inline bool isAsciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// Why text cannot be quoted for the dialect at all, or the empty text when it can.
QString refusal(ShellDialect dialect, const QString &text);

// Throws UnsafeTextError when refusal() names a reason; `what` names the text
// for the operator ("The server", "URL line 3", ...).
void check(ShellDialect dialect, const QString &text, const QString &what);

// The text as one word of a command line. Call check() first: a text that
// cannot be quoted comes back unusable.
QString quote(ShellDialect dialect, const QString &text);

// A file path as the target of a redirection, written in double quotes as long
// as the interpreter would not change anything inside them.
QString quoteRedirectTarget(ShellDialect dialect, const QString &path);

// /bin/sh: single quotes, each ' written as '\''.
QString quoteSh(const QString &text);
// cmd.exe: double quotes, every % doubled, and backslashes before the closing
// quote doubled so the program's own argument parser keeps them.
QString quoteCmd(const QString &text);
} // namespace ShellQuote

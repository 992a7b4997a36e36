#pragma once

#include "commands/scriptlines/codepages.h"

#include <QByteArray>
#include <QString>

// A text as one value of a curl config file (-K), which curl reads in a
// dialect of its own: a value in double quotes runs to the next unescaped
// quote, a backslash takes the character after it as it is, and \t, \n, \r,
// \v stand for those controls. Every value is written quoted, so blanks, "#",
// "=" and ":" stay in it and a line break in the text cannot start a line of
// options of its own. NUL cannot be written (ShellQuote refuses it first);
// any other character goes in as it is.
namespace CurlConfigQuote {

QString quote(const QString &text);

// "name = <quoted value>", one line of a config file without its line end.
QString option(const char *name, const QString &value);

// A config file's text (of quoted values) in the ANSI code page, as curl on
// Windows reads it: a byte at a time. In a double-byte code page (936, 932,
// 950) many a character's second byte is 0x5C, "\\" to curl, which would take
// the byte after it as escaped; each such byte is written twice, which curl
// reads as that one byte. Call CodePageRule::refusal() on every value first.
QByteArray toAnsi(const CodePages &pages, const QString &config);

} // namespace CurlConfigQuote

#pragma once

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

} // namespace CurlConfigQuote

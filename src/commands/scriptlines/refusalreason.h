#pragma once

#include <QString>

// Why a text from the window cannot go into a command script, all in one place.
// Each is the end of the sentence "... cannot be passed safely to the command
// interpreter: it holds ..." (see UnsafeTextError).
namespace RefusalReason {

QString nulCharacter();
// Half of a UTF-16 pair with no other half: no code page, UTF-8 included, has a
// place for it, so it would reach squidclient as U+FFFD or a "?".
QString loneSurrogate(char16_t unit);
QString crLf();
QString doubleQuote();
QString lineBreak();
QString controlCharacter(char16_t unit);
// In a header's value: it would end the header, or make the server refuse it.
QString headerControl(char16_t unit);
// In a request's text: it would end the request line and start another one.
QString requestControl(char16_t unit);
QString lineTooLong(qsizetype length, qsizetype limit);
QString leadingDash();
// curl is given the server inside a URL, whose host takes a name or an address only.
QString emptyHost();
QString notInHostName(const QString &character);
QString networkFolder();
QString notInCodePage(const QString &character, unsigned ansi);
QString readAsOther(const QString &character, unsigned ansi, unsigned oem);
QString readDifferently(unsigned oem);

} // namespace RefusalReason

#include "commands/scriptlines/refusalreason.h"

#include <QCoreApplication>

namespace {
QString codePoint(char16_t unit)
{
    return QStringLiteral("U+%1").arg(unsigned(unit), 4, 16, QLatin1Char('0')).toUpper();
}
} // namespace

QString RefusalReason::nulCharacter()
{
    return QCoreApplication::translate("RefusalReason", "a NUL character");
}

QString RefusalReason::loneSurrogate(char16_t unit)
{
    return QCoreApplication::translate("RefusalReason",
                                       "half of a character (%1, a UTF-16 surrogate without its other half)")
            .arg(codePoint(unit));
}

QString RefusalReason::crLf()
{
    return QCoreApplication::translate("RefusalReason", "a line break (CR LF)");
}

QString RefusalReason::doubleQuote()
{
    return QCoreApplication::translate("RefusalReason", "a double quote");
}

QString RefusalReason::lineBreak()
{
    return QCoreApplication::translate("RefusalReason", "a line break");
}

QString RefusalReason::headerControl(char16_t unit)
{
    return QCoreApplication::translate("RefusalReason", "a control character (%1), which a header cannot hold")
            .arg(codePoint(unit));
}

QString RefusalReason::requestControl(char16_t unit)
{
    return QCoreApplication::translate("RefusalReason",
                                       "a control character (%1), which would end the request line and start "
                                       "another one")
            .arg(codePoint(unit));
}

QString RefusalReason::controlCharacter(char16_t unit)
{
    return QCoreApplication::translate("RefusalReason",
                                       "a control character (%1) that cmd.exe would not pass on unchanged")
            .arg(codePoint(unit));
}

QString RefusalReason::lineTooLong(qsizetype length, qsizetype limit)
{
    return QCoreApplication::translate(
                   "RefusalReason",
                   "too much text: its script line would be %L1 characters long, and cmd.exe reads no "
                   "more than %L2 of a line")
            .arg(length)
            .arg(limit);
}

QString RefusalReason::leadingDash()
{
    return QCoreApplication::translate("RefusalReason", "a leading \"-\", which squidclient would take as an option");
}

QString RefusalReason::emptyHost()
{
    return QCoreApplication::translate("RefusalReason", "no name, and curl needs a host name or address for its URL");
}

QString RefusalReason::notInHostName(const QString &character)
{
    return QCoreApplication::translate("RefusalReason",
                                       "“%1”, which a URL's host name cannot hold (curl is given the server in a "
                                       "URL: a name of letters, digits, \".\", \"-\" and \"_\", or an IP address)")
            .arg(character);
}

QString RefusalReason::networkFolder()
{
    return QCoreApplication::translate("RefusalReason",
                                       "a network path, which cmd.exe cannot run a script from (give the share a drive "
                                       "letter and start the program from there)");
}

QString RefusalReason::notInCodePage(const QString &character, unsigned ansi)
{
    return QCoreApplication::translate("RefusalReason", "“%1”, a character that Windows code page %2 has no place for")
            .arg(character)
            .arg(ansi);
}

QString RefusalReason::readAsOther(const QString &character, unsigned ansi, unsigned oem)
{
    return QCoreApplication::translate("RefusalReason",
                                       "“%1”, which cmd.exe would read as another character (the script is "
                                       "written in code page %2, cmd.exe reads it in code page %3)")
            .arg(character)
            .arg(ansi)
            .arg(oem);
}

QString RefusalReason::readDifferently(unsigned oem)
{
    return QCoreApplication::translate("RefusalReason",
                                       "characters that cmd.exe would read differently in code page %1")
            .arg(oem);
}

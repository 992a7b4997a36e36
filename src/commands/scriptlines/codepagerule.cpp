#include "commands/scriptlines/codepagerule.h"

#include "commands/scriptlines/codepagerule_p.h"
#include "commands/scriptlines/refusalreason.h"

#include <QStringView>

namespace {

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

enum class Fault { None, NotInAnsi, ReadDifferently };

Fault faultOf(const CodePages &pages, QStringView text)
{
    if (isAscii(text))
        return Fault::None;
    QByteArray bytes;
    if (!CodePageText::encode(pages.ansi, text, bytes))
        return Fault::NotInAnsi;
    QString readBack;
    if (!CodePageText::decode(pages.oem, bytes, readBack) || readBack != text)
        return Fault::ReadDifferently;
    return Fault::None;
}

} // namespace

QString CodePageRule::refusal(const CodePages &pages, const QString &text)
{
    if (faultOf(pages, text) == Fault::None)
        return QString();
    // Name the first character that does not come through, so the operator knows
    // what to take out.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        switch (faultOf(pages, character)) {
        case Fault::NotInAnsi:
            return RefusalReason::notInCodePage(character.toString(), pages.ansi);
        case Fault::ReadDifferently:
            return RefusalReason::readAsOther(character.toString(), pages.ansi, pages.oem);
        case Fault::None:
            break;
        }
        i += length;
    }
    // Every character passes alone but not all together (a code page with shift
    // states); refuse the whole text.
    return RefusalReason::readDifferently(pages.oem);
}

QByteArray CodePageRule::toAnsi(const CodePages &pages, const QString &text)
{
    if (isAscii(text))
        return text.toLatin1();
    QByteArray bytes;
    CodePageText::encode(pages.ansi, text, bytes);
    return bytes;
}

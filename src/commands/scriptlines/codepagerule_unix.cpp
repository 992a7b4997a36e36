#include "commands/scriptlines/codepagerule_p.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
// Elsewhere ICU knows the Windows code pages by their "windows-" names
// (windows-1252, windows-437 = IBM437, windows-936 = GBK, windows-20127 = US-ASCII).
QByteArray icuName(unsigned codePage)
{
    if (codePage == 65001)
        return QByteArrayLiteral("UTF-8");
    return QByteArrayLiteral("windows-") + QByteArray::number(codePage);
}
} // namespace

bool CodePageText::encode(unsigned codePage, QStringView text, QByteArray &bytes)
{
    QStringEncoder encoder(icuName(codePage).constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return false;
    bytes = encoder.encode(text);
    return !encoder.hasError();
}

bool CodePageText::decode(unsigned codePage, const QByteArray &bytes, QString &text)
{
    QStringDecoder decoder(icuName(codePage).constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return false;
    text = decoder.decode(bytes);
    return !decoder.hasError();
}

#include "commands/codepagerule.h"

#include "commands/refusalreason.h"

#include <QStringView>

#ifdef Q_OS_WIN
#include "commands/wincodepage.h"

#include <string>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

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

#ifdef Q_OS_WIN

// Windows asks the system itself, which knows every code page it can be set to.
bool encode(unsigned codePage, QStringView text, QByteArray &bytes)
{
    std::string out;
    const bool ok = WinCodePage::encode(codePage, text.toString().toStdWString(), out);
    bytes = QByteArray(out.data(), qsizetype(out.size()));
    return ok;
}

bool decode(unsigned codePage, const QByteArray &bytes, QString &text)
{
    std::wstring out;
    const bool ok = WinCodePage::decode(codePage, std::string(bytes.constData(), size_t(bytes.size())), out);
    text = QString::fromStdWString(out);
    return ok;
}

#else

// Elsewhere ICU knows the Windows code pages by their "windows-" names
// (windows-1252, windows-437 = IBM437, windows-936 = GBK, windows-20127 = US-ASCII).
QByteArray icuName(unsigned codePage)
{
    if (codePage == 65001)
        return QByteArrayLiteral("UTF-8");
    return QByteArrayLiteral("windows-") + QByteArray::number(codePage);
}

bool encode(unsigned codePage, QStringView text, QByteArray &bytes)
{
    QStringEncoder encoder(icuName(codePage).constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return false;
    bytes = encoder.encode(text);
    return !encoder.hasError();
}

bool decode(unsigned codePage, const QByteArray &bytes, QString &text)
{
    QStringDecoder decoder(icuName(codePage).constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return false;
    text = decoder.decode(bytes);
    return !decoder.hasError();
}

#endif

Fault faultOf(const CodePages &pages, QStringView text)
{
    if (isAscii(text))
        return Fault::None;
    QByteArray bytes;
    if (!encode(pages.ansi, text, bytes))
        return Fault::NotInAnsi;
    QString readBack;
    if (!decode(pages.oem, bytes, readBack) || readBack != text)
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
    encode(pages.ansi, text, bytes);
    return bytes;
}

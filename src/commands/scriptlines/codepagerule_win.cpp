#include "commands/scriptlines/codepagerule_p.h"

#include "commands/scriptlines/wincodepage.h"

#include <string>

// Windows asks the system itself, which knows every code page it can be set to.
bool CodePageText::encode(unsigned codePage, QStringView text, QByteArray &bytes)
{
    std::string out;
    const bool ok = WinCodePage::encode(codePage, text.toString().toStdWString(), out);
    bytes = QByteArray(out.data(), qsizetype(out.size()));
    return ok;
}

bool CodePageText::decode(unsigned codePage, const QByteArray &bytes, QString &text)
{
    std::wstring out;
    const bool ok = WinCodePage::decode(codePage, std::string(bytes.constData(), size_t(bytes.size())), out);
    text = QString::fromStdWString(out);
    return ok;
}

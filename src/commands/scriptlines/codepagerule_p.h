#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Text to and from a Windows code page, as each system can do it:
// codepagerule_win.cpp asks Windows, codepagerule_unix.cpp asks ICU.
namespace CodePageText {

// False when the code page is unknown or cannot hold the text.
bool encode(unsigned codePage, QStringView text, QByteArray &bytes);
// False when the code page is unknown or the bytes are not text in it.
bool decode(unsigned codePage, const QByteArray &bytes, QString &text);

} // namespace CodePageText

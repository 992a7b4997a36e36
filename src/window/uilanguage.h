#pragma once

#include <QStringList>

class QCoreApplication;

// The language of the program's own messages. The window is Chinese, and so are
// its messages, unless the system's user interface is English: an English
// speaker then reads them in English (the captions stay as they are).
namespace UiLanguage {

// Whether the messages are shown in Chinese for a system whose UI languages are
// these, most preferred first ("zh-CN", "en-US", "C", ...): the first Chinese or
// English one decides, and Chinese when there is none.
bool wantsChinese(const QStringList &uiLanguages);

// Installs the Chinese messages, built into the program, on app unless the
// system's UI language says otherwise.
void install(QCoreApplication *app);

} // namespace UiLanguage

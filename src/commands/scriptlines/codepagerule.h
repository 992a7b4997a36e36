#pragma once

#include "commands/scriptlines/codepages.h"

#include <QByteArray>
#include <QString>

// A text goes into a cmd.exe script in the ANSI code page and is read back by
// cmd.exe in the OEM one. It reaches squidclient unchanged only when both agree
// on every character of it: encoded with the ANSI code page and decoded with the
// OEM code page it must come out as it went in. ASCII always does.
namespace CodePageRule {

// Why the text would not come through unchanged, or the empty text when it would.
QString refusal(const CodePages &pages, const QString &text);

// The text as a script line holds it: in the ANSI code page. Call refusal() first.
QByteArray toAnsi(const CodePages &pages, const QString &text);

} // namespace CodePageRule

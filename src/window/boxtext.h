#pragma once

#include <QString>

class QPlainTextEdit;

// The program's texts use CR LF line ends; Qt's text widgets use LF between
// blocks. Every multi-line box is read and written through these two functions,
// so the conversion happens in exactly one place.
namespace BoxText {

// The box's text with CR LF between its lines, every other character as typed
// (no-break spaces stay no-break spaces).
QString text(const QPlainTextEdit *box);

// Replaces the box's text; each CR LF becomes one line break in the box.
void setText(QPlainTextEdit *box, const QString &text);

} // namespace BoxText

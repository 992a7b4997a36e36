#pragma once

#include <QString>

class OutputBox;
class QPlainTextEdit;

// The program's texts use CR LF line ends; Qt's text widgets use LF between
// blocks. Every multi-line box is read and written through these functions, so
// the conversion happens in exactly one place for each kind of box: here for a
// QPlainTextEdit, in the output box's document (setText()/text()) for it.
namespace BoxText {

// The box's text with CR LF between its lines, every other character as typed
// (no-break spaces stay no-break spaces).
QString text(const QPlainTextEdit *box);

// Replaces the box's text; each CR LF becomes one line break in the box.
void setText(QPlainTextEdit *box, const QString &text);
// The output box takes the string over: an answer of many megabytes is not copied.
void setText(OutputBox *box, QString &&text);

} // namespace BoxText

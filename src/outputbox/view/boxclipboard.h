#pragma once

#include <QClipboard>

class OutputDocument;

// The output box and the system clipboard: plain text with '\n' between lines,
// as QPlainTextEdit copies and as other programs on this system expect, so
// pasting it back gives the same lines.
namespace BoxClipboard {

void copy(const OutputDocument &document);
void cut(OutputDocument &document);
// The clipboard's text in place of the selection; the X11 selection on a middle click.
void paste(OutputDocument &document, QClipboard::Mode mode = QClipboard::Clipboard);
bool canPaste();
// What the mouse selected becomes the X11 selection, where there is one.
void shareSelection(const OutputDocument &document);

} // namespace BoxClipboard

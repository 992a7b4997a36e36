#pragma once

#include "outputbox/document/outputdocument.h"

class QKeyEvent;

// Which key does what in the output box, as in QPlainTextEdit: the keys that
// edit, use the clipboard or move within the text go straight to the document;
// moves by line and by page depend on how lines are laid out, and Select All
// leaves the view where it is: these come back to the view as a request.
namespace EditKeys {

// Handled: the document did what the key asks; None: the key is not the box's.
enum class Request { None, Handled, LineUp, LineDown, PageUp, PageDown, SelectAll };

struct Result
{
    Request request = Request::None;
    OutputDocument::MoveMode mode = OutputDocument::MoveMode::MoveAnchor;
};

Result press(OutputDocument &document, const QKeyEvent *event);

// Keys the box takes itself, before a window shortcut can.
bool isOwnShortcut(const QKeyEvent *event);

} // namespace EditKeys

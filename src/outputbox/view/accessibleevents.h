#pragma once

#include "outputbox/document/outputdocument.h"

class QObject;

// What a screen reader is told when the output box's text or caret changes,
// as QPlainTextEdit tells it. The box calls these from its own handlers of the
// document's signals, so the order of events stays the box's.
namespace AccessibleEvents {

void textReset(QObject *box);
void textReplaced(QObject *box, const OutputDocument &document, const OutputDocument::Change &change);
// Whether the selected range changed with a caret move.
enum class Selection { Same, Moved };
// After the caret moved from oldCursor.
void caretMoved(QObject *box, const OutputDocument &document, int oldCursor, Selection selection);

} // namespace AccessibleEvents

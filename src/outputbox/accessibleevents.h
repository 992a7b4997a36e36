#pragma once

#include "outputbox/outputdocument.h"

class QObject;

// What a screen reader is told when the output box's text or caret changes,
// as QPlainTextEdit tells it. The box calls these from its own handlers of the
// document's signals, so the order of events stays the box's.
namespace AccessibleEvents {

void textReset(QObject *box);
void textReplaced(QObject *box, const OutputDocument &document, const OutputDocument::Change &change);
// After the caret moved from oldCursor; selectionMoved when the selected range changed.
void caretMoved(QObject *box, const OutputDocument &document, int oldCursor, bool selectionMoved);

} // namespace AccessibleEvents

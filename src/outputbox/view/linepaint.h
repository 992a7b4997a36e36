#pragma once

#include <QPointF>
#include <QRectF>
#include <QTextCharFormat>

class QPainter;

// What it takes to draw one line of the output box: where, what part of it is
// in view, the selection and the caret. Columns count from the line's start.
struct LinePaint
{
    QPainter *painter = nullptr;
    QPointF origin; // the line's text start, at the line's top
    QRectF clip;
    int selectionStart = 0; // either may lie outside the line; the line break
    int selectionEnd = 0;   // is selected when the end passes it
    QTextCharFormat selectionFormat;
    int cursor = -1; // column of the caret, or -1
    int cursorWidth = 1;
};

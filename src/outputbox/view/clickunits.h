#pragma once

#include "outputbox/document/outputdocument.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QtGlobal>

#include <functional>
#include <optional>

// The word of the last double click and the line of the last triple click, as
// [start, end) (empty for none): until a plain click, dragging and
// Shift+clicking extend the selection by these units, as QPlainTextEdit does.
// Edits move them as a text cursor on the document would be moved.
class ClickUnits
{
public:
    // A selection to make, and whether the view goes to show it.
    struct Selection
    {
        int anchor;
        int cursor;
        bool shown;
    };

    void setWord(std::pair<int, int> word);
    // A double click at a point; a press near it soon after is a triple click
    // (and is so only once).
    void setDoubleClick(const QPoint &at);
    bool isTripleClick(const QPoint &at, int interval, int distance);
    void setLine(int start, int end);
    void forget();
    bool isEmpty() const { return m_wordStart == m_wordEnd && m_lineStart == m_lineEnd; }
    // Text put in at a unit's edge pushes it along.
    void follow(const OutputDocument::Change &change);

    // The selection a press or a drag at `position` (at `mouseX`, measured as
    // `xOf` measures a position) makes; none when it stays as it is.
    std::optional<Selection> extend(const OutputDocument &document, int position, qreal mouseX,
                                    const std::function<qreal(int)> &xOf) const;

private:
    std::optional<Selection> byWords(const OutputDocument &document, int position, qreal mouseX,
                                     const std::function<qreal(int)> &xOf) const;
    Selection byLines(const OutputDocument &document, int position) const;

    int m_wordStart = 0;
    int m_wordEnd = 0;
    int m_lineStart = 0;
    int m_lineEnd = 0;
    QPoint m_doubleClickAt;
    QElapsedTimer m_sinceDoubleClick; // invalid: no triple click to come
};

#pragma once

#include "outputbox/document/outputdocument.h"

#include <QInputMethodEvent>
#include <QList>
#include <QString>

class QFont;

// An input method's text still being composed, the one place that knows it:
// shown at the line and column where the caret was when it came, until it is
// committed. Like QTextLayout's preedit area it keeps its column in its line
// while the operator types or moves the caret, even past the line's end, and
// follows its line as the document's edits move it.
class Preedit
{
public:
    bool isEmpty() const { return m_text.isEmpty(); }
    const QString &text() const { return m_text; }
    int line() const { return m_line; }
    int column() const { return m_column; }
    // Where the composing caret stands in the text, and whether it shows.
    int cursor() const { return m_cursor; }
    bool cursorVisible() const { return m_cursorVisible; }
    const QList<QInputMethodEvent::Attribute> &formats() const { return m_formats; }

    // How far the composing caret stands from where the composed text starts.
    qreal caretOffset(const QFont &font) const;
    qreal width(const QFont &font) const;
    // How many of its characters lie (for the most part) left of x, counted
    // from where it starts.
    int characterAt(qreal x, const QFont &font) const;

    // Takes what the event composes, shown at that line and column; gives back
    // the selections it asks for (columns of that line) when it composes nothing.
    QList<QInputMethodEvent::Attribute> take(const QInputMethodEvent *event, int line, int column);
    // Follows a replacement in the document's text.
    void follow(const OutputDocument::Change &change);
    void clear();

private:
    QString m_text;
    int m_line = 0;
    int m_column = 0; // perhaps past the line's end
    int m_cursor = 0;
    bool m_cursorVisible = true;
    QList<QInputMethodEvent::Attribute> m_formats;
};

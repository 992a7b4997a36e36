#pragma once

#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QList>
#include <QString>

// An input method's text still being composed, shown where the caret was when
// it came until it is committed. Like QTextLayout's preedit area it keeps its
// column in its line while the operator types or moves the caret.
struct Preedit
{
    QString text;
    int position = 0;  // where in the text it shows: a column of its line, perhaps past the end
    int line = 0;      // the line it shows in
    int lineStart = 0; // and where that starts
    int cursor = 0;
    bool cursorVisible = true;
    QList<QInputMethodEvent::Attribute> formats;

    bool isEmpty() const { return text.isEmpty(); }
    // How far the composing caret stands from where the composed text starts.
    qreal caretOffset(const QFont &font) const
    {
        return isEmpty() ? 0 : QFontMetricsF(font).horizontalAdvance(text.left(cursor));
    }
    // Takes what the event composes; gives back the selections it asks for
    // (columns of the caret's line) when it composes nothing.
    QList<QInputMethodEvent::Attribute> take(const QInputMethodEvent *event)
    {
        text = event->preeditString();
        cursor = text.size();
        cursorVisible = true;
        formats.clear();
        QList<QInputMethodEvent::Attribute> selections;
        for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
            if (attribute.type == QInputMethodEvent::Cursor) {
                cursor = attribute.start;
                cursorVisible = attribute.length != 0;
            } else if (attribute.type == QInputMethodEvent::TextFormat) {
                formats.append(attribute);
            } else if (attribute.type == QInputMethodEvent::Selection && text.isEmpty()) {
                selections.append(attribute);
            }
        }
        return selections;
    }
    void clear()
    {
        text.clear();
        formats.clear();
    }
};

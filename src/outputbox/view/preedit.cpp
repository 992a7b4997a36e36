#include "outputbox/view/preedit.h"

#include <QFontMetricsF>

qreal Preedit::caretOffset(const QFont &font) const
{
    return isEmpty() ? 0 : QFontMetricsF(font).horizontalAdvance(m_text.left(m_cursor));
}

qreal Preedit::width(const QFont &font) const
{
    return QFontMetricsF(font).horizontalAdvance(m_text);
}

int Preedit::characterAt(qreal x, const QFont &font) const
{
    const QFontMetricsF metrics(font);
    int count = 0;
    for (const QChar c : m_text) {
        const qreal advance = metrics.horizontalAdvance(c);
        if (x < advance / 2)
            break;
        x -= advance;
        ++count;
    }
    return count;
}

QList<QInputMethodEvent::Attribute> Preedit::take(const QInputMethodEvent *event, int line, int column)
{
    m_text = event->preeditString();
    m_line = line;
    m_column = column;
    m_cursor = int(m_text.size());
    m_cursorVisible = true;
    m_formats.clear();
    QList<QInputMethodEvent::Attribute> selections;
    for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor) {
            m_cursor = attribute.start;
            m_cursorVisible = attribute.length != 0;
        } else if (attribute.type == QInputMethodEvent::TextFormat) {
            m_formats.append(attribute);
        } else if (attribute.type == QInputMethodEvent::Selection && m_text.isEmpty()) {
            selections.append(attribute);
        }
    }
    return selections;
}

void Preedit::follow(const OutputDocument::Change &change)
{
    if (isEmpty())
        return;
    // Its line moves with the lines before it, and takes it along when its
    // line break goes (the block whose separator goes is the one QTextDocument
    // drops).
    const int last = change.firstLine + change.removedLines - 1;
    if (m_line > last)
        m_line += change.addedLines - change.removedLines;
    else if (m_line >= change.firstLine && m_line < last)
        clear();
    else if (m_line == last && change.removedLines > 1)
        m_line = change.firstLine + change.addedLines - 1;
}

void Preedit::clear()
{
    m_text.clear();
    m_formats.clear();
}

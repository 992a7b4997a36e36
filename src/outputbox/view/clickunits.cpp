#include "outputbox/view/clickunits.h"

#include <algorithm>

void ClickUnits::setWord(std::pair<int, int> word)
{
    std::tie(m_wordStart, m_wordEnd) = word;
}

void ClickUnits::setDoubleClick(const QPoint &at)
{
    m_doubleClickAt = at;
    m_sinceDoubleClick.start();
}

bool ClickUnits::isTripleClick(const QPoint &at, int interval, int distance)
{
    if (!m_sinceDoubleClick.isValid() || m_sinceDoubleClick.hasExpired(interval)
        || (at - m_doubleClickAt).manhattanLength() >= distance)
        return false;
    m_sinceDoubleClick.invalidate();
    return true;
}

void ClickUnits::setLine(int start, int end)
{
    m_lineStart = start;
    m_lineEnd = end;
}

void ClickUnits::forget()
{
    m_wordStart = m_wordEnd = m_lineStart = m_lineEnd = 0;
}

void ClickUnits::follow(const OutputDocument::Change &change)
{
    const int removed = change.removedLength();
    for (int *at : {&m_wordStart, &m_wordEnd, &m_lineStart, &m_lineEnd}) {
        if (*at >= change.position)
            *at = *at < change.position + removed ? change.position + change.inserted : *at - removed + change.inserted;
    }
}

std::optional<ClickUnits::Selection> ClickUnits::extend(const OutputDocument &document, int position, qreal mouseX,
                                                        const std::function<qreal(int)> &xOf) const
{
    if (m_lineStart < m_lineEnd)
        return byLines(document, position);
    if (m_wordStart < m_wordEnd)
        return byWords(document, position, mouseX, xOf);
    return std::nullopt;
}

std::optional<ClickUnits::Selection> ClickUnits::byWords(const OutputDocument &document, int position, qreal mouseX,
                                                         const std::function<qreal(int)> &xOf) const
{
    // Back over the first word: that word alone, and shown.
    if (position >= m_wordStart && position <= m_wordEnd)
        return Selection{m_wordStart, m_wordEnd, true};
    // Only over a word does the selection take it in, up to its nearer edge;
    // between words or past the line's end it stays as it is.
    const auto [start, end] = document.wordAt(position);
    if (start == end)
        return std::nullopt;
    const qreal startX = xOf(start);
    const qreal endX = xOf(end);
    if (mouseX < startX || mouseX > endX)
        return std::nullopt;
    return Selection{position < m_wordStart ? m_wordEnd : m_wordStart, mouseX - startX < endX - mouseX ? start : end,
                     false};
}

ClickUnits::Selection ClickUnits::byLines(const OutputDocument &document, int position) const
{
    if (position >= m_lineStart && position <= m_lineEnd)
        return Selection{m_lineStart, m_lineEnd, true};
    const int line = document.lineOfPosition(position);
    if (position < m_lineStart)
        return Selection{m_lineEnd, document.lineStart(line), false};
    return Selection{m_lineStart, std::min(document.length(), document.lineEnd(line) + 1), false};
}

#include "outputbox/view/viewlines.h"

#include "outputbox/document/linetext.h"
#include "outputbox/document/textbuffer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Past this many lines from the top of the view a line's place is estimated
// instead of laying out every line in between.
constexpr int kMeasuredReach = 2000;
// Whether the selection reaches into a line or onto its line break. As
// QPlainTextEdit does, the line's layout is handed the selection as it is,
// reaching past the line on either side, and clips it.
bool selectionReaches(const ViewLines::ViewPaint &view, int lineStart, int lineLength)
{
    return view.selectionEnd > view.selectionStart && view.selectionStart - lineStart < lineLength + 1
            && view.selectionEnd - lineStart > 0;
}

} // namespace

ViewLines::ViewLines(const TextBuffer &buffer)
    : m_buffer(buffer)
    , m_layouts(buffer)
{ }

void ViewLines::setFont(const QFont &font, QPaintDevice *device)
{
    m_font = font;
    m_layouts.setFont(font, device);
}

void ViewLines::clear()
{
    m_layouts.clear();
    m_topLine = 0;
}

qreal ViewLines::lineTop(int line) const
{
    return lineTop(m_topLine, line);
}

qreal ViewLines::lineTop(int topLine, int line) const
{
    qreal y = topLine == 0 ? kMargin : 0;
    if (std::abs(line - topLine) > kMeasuredReach)
        return y + (line - topLine) * qreal(QFontMetrics(m_font).height());
    if (line >= topLine) {
        for (int at = topLine; at < line; ++at)
            y += m_layouts.height(at);
    } else {
        for (int at = topLine - 1; at >= line; --at)
            y -= m_layouts.height(at);
    }
    return y;
}

int ViewLines::lineAtY(qreal y) const
{
    const int last = m_buffer.lineCount() - 1;
    qreal top = m_topLine == 0 ? kMargin : 0;
    int line = m_topLine;
    if (y >= top) {
        for (int steps = 0; line < last && steps < kMeasuredReach; ++steps) {
            const qreal height = m_layouts.height(line);
            if (y < top + height)
                break;
            top += height;
            ++line;
        }
    } else {
        for (int steps = 0; line > 0 && y < top && steps < kMeasuredReach; ++steps) {
            --line;
            top -= m_layouts.height(line);
        }
    }
    return line;
}

qreal ViewLines::textX(int position) const
{
    const int line = m_buffer.lineOfPosition(position);
    return m_layouts.cursorToX(line, position - m_buffer.lineStart(line));
}

int ViewLines::positionOnLine(int line, qreal x) const
{
    return m_buffer.lineStart(line) + m_layouts.xToCursor(line, x);
}

QRectF ViewLines::characterRect(int position, int width, qreal scrollX) const
{
    position = std::clamp(position, 0, m_buffer.length());
    const int line = m_buffer.lineOfPosition(position);
    return QRectF(kMargin + textX(position) - scrollX, lineTop(line), width, m_layouts.height(line));
}

int ViewLines::positionAt(const QPointF &point, qreal scrollX) const
{
    const int line = lineAtY(point.y());
    // Above the first line (in the margin) is its start, below the last line
    // its end, as QPlainTextEdit places the caret.
    const qreal top = lineTop(line);
    if (point.y() < top)
        return m_buffer.lineStart(line);
    if (point.y() >= top + m_layouts.height(line))
        return m_buffer.lineEnd(line);
    return m_buffer.lineStart(line) + m_layouts.xToCursor(line, point.x() + scrollX - kMargin);
}

std::pair<int, int> ViewLines::scrollRange(qreal viewHeight) const
{
    const int lines = m_buffer.lineCount();
    const qreal visible = viewHeight - kMargin - 1;
    qreal y = 0;
    int fromBottom = 0;
    for (int line = lines - 1; line >= 0; --line) {
        y += m_layouts.height(line) + (line == lines - 1 ? kMargin : 0);
        if (y > visible)
            break;
        ++fromBottom;
    }
    return {std::max(0, lines - fromBottom), fromBottom};
}

int ViewLines::leftShowing(int position, int left, int viewWidth) const
{
    // QPlainTextEdit measures with its caret's rectangle in whole pixels, and a
    // caret that left the view comes back in its middle rather than at an edge.
    const QRect caret = characterRect(position, kCursorWidth, left).toRect();
    if (caret.left() < 0 || caret.right() > viewWidth - 1)
        return caret.center().x() + left - viewWidth / 2;
    return left;
}

QRect ViewLines::lineArea(int position, int viewWidth) const
{
    const int line = m_buffer.lineOfPosition(position);
    const qreal top = lineTop(line);
    return QRect(0, int(std::floor(top)) - 1, viewWidth, int(std::ceil(m_layouts.height(line))) + 2);
}

int ViewLines::topShowing(int line, qreal viewHeight) const
{
    if (line < m_topLine)
        return line;
    if (line - m_topLine <= kMeasuredReach && lineTop(line) + m_layouts.height(line) < viewHeight)
        return m_topLine;
    // The line goes to the bottom of the view.
    qreal used = m_layouts.height(line);
    int top = line;
    int below = line;
    while (used < viewHeight && top > 0) {
        below = top;
        --top;
        used += m_layouts.height(top);
    }
    if (used + (top == 0 ? kMargin : 0) > viewHeight)
        top = below;
    return top;
}

int ViewLines::pageDownTop(qreal viewHeight) const
{
    const int last = m_buffer.lineCount() - 1;
    qreal used = m_topLine == 0 ? kMargin : 0;
    int top = m_topLine;
    while (true) {
        const qreal height = m_layouts.height(top) + (top == last ? kMargin : 0);
        if (used + height > viewHeight)
            return top;
        if (top == last)
            return -1;
        used += height;
        ++top;
    }
}

int ViewLines::pageUpTop(qreal viewHeight) const
{
    // Back from the top line until a view's height of lines is above it.
    const int last = m_buffer.lineCount() - 1;
    qreal above = 0;
    int top = m_topLine;
    const qreal pageTop = (m_topLine == 0 ? -kMargin : 0) - viewHeight;
    while (above >= pageTop && top > 0) {
        --top;
        above -= m_layouts.height(top) + (top == last ? kMargin : 0);
    }
    // A line that reaches above that page stays out of it.
    if (above < pageTop && top + 1 < m_topLine)
        ++top;
    return top;
}

ViewLines::Page ViewLines::page(PageDirection direction, int caretLine, qreal pageY, qreal viewHeight, int maxTop) const
{
    Page page{m_topLine, caretLine};
    qreal targetY = pageY;
    if (direction == PageDirection::Down) {
        const int top = pageDownTop(viewHeight);
        if (top < 0)
            targetY = std::numeric_limits<qreal>::max();
        else
            page.top = std::clamp(top, 0, maxTop);
    } else {
        if (m_topLine == 0)
            targetY = std::numeric_limits<qreal>::lowest();
        page.top = std::clamp(pageUpTop(viewHeight), 0, maxTop);
    }
    // The caret's line is found with the view where it will be.
    page.line = lineReaching(page.top, caretLine, targetY, direction);
    return page;
}

int ViewLines::lineReaching(int topLine, int line, qreal y, PageDirection direction) const
{
    if (direction == PageDirection::Down) {
        while (line < m_buffer.lineCount() - 1) {
            ++line;
            if (lineTop(topLine, line) >= y)
                break;
        }
    } else {
        while (line > 0) {
            --line;
            if (lineTop(topLine, line) <= y)
                break;
        }
    }
    return line;
}

std::optional<ViewLines::AutoScroll> ViewLines::autoScroll(const QRect &visible, const QPoint &mouse)
{
    const int deltaY = std::max(mouse.y() - visible.top(), visible.bottom() - mouse.y()) - visible.height();
    const int deltaX = std::max(mouse.x() - visible.left(), visible.right() - mouse.x()) - visible.width();
    const int delta = std::max(deltaX, deltaY);
    if (delta < 0)
        return std::nullopt;
    const auto towards = [](int outside, bool before) {
        return outside <= 0 ? ScrollStep::None : before ? ScrollStep::Back : ScrollStep::Forward;
    };
    const int speed = std::max(delta, 7);
    return AutoScroll{4900 / (speed * speed), towards(deltaY, mouse.y() < visible.center().y()),
                      towards(deltaX, mouse.x() < visible.center().x())};
}

// ---------------------------------------------------------------------------
// Drawing

void ViewLines::drawPreeditLine(QPainter *painter, int line, const QPointF &origin, const ViewPaint &view) const
{
    // The text being composed is laid out into its line for as long as it is
    // composed, the way QPlainTextEdit shows it.
    const Preedit &preedit = *view.preedit;
    const int at = preedit.column();
    QList<QTextLayout::FormatRange> formats;
    for (const QInputMethodEvent::Attribute &attribute : preedit.formats()) {
        const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
        if (format.isValid())
            formats.append({at + attribute.start, attribute.length, format});
    }
    const std::unique_ptr<QTextLayout> layout
            = m_layouts.shaper().layout(LineText(m_buffer, line).toString(), at, preedit.text(), formats);
    // The selection as QPlainTextEdit hands it over: in the line's own
    // positions, which the text being composed shifts.
    QList<QTextLayout::FormatRange> selections;
    const int start = m_buffer.lineStart(line);
    if (selectionReaches(view, start, m_buffer.lineLength(line)))
        selections.append({view.selectionStart - start, view.selectionEnd - view.selectionStart, view.selectionFormat});
    layout->draw(painter, origin, selections, view.area);
    if (view.preeditCaretShown && preedit.cursorVisible())
        layout->drawCursor(painter, origin, at + preedit.cursor(), kCursorWidth);
}

void ViewLines::layOutView(qreal viewHeight) const
{
    const int lines = m_buffer.lineCount();
    qreal y = m_topLine == 0 ? kMargin : 0;
    for (int line = m_topLine; line < lines && y <= viewHeight; ++line)
        y += m_layouts.height(line) + (line == lines - 1 ? kMargin : 0);
}

void ViewLines::draw(QPainter *painter, const ViewPaint &view) const
{
    const QRect &area = view.area;
    const bool composing = view.preedit && !view.preedit->isEmpty();
    QPointF offset(-view.scrollX, m_topLine == 0 ? kMargin : 0);
    const int lines = m_buffer.lineCount();
    const int cursorLine = m_buffer.lineOfPosition(view.cursor);
    const int preeditLine = composing ? view.preedit->line() : -1;
    for (int line = m_topLine; line < lines; ++line) {
        const qreal lineHeight = m_layouts.height(line) + (line == lines - 1 ? kMargin : 0);
        const QRectF bounds(offset.x(), offset.y(), 1, lineHeight);
        if (bounds.bottom() >= area.top() && bounds.top() <= area.bottom()) {
            const QPointF origin(offset.x() + kMargin, offset.y());
            if (line == preeditLine && !m_layouts.isLong(line)) {
                drawPreeditLine(painter, line, origin, view);
            } else {
                const int start = m_buffer.lineStart(line);
                LinePaint paint;
                paint.painter = painter;
                paint.origin = origin;
                paint.clip = area;
                const int lineLength = m_buffer.lineLength(line);
                if (selectionReaches(view, start, lineLength)) {
                    paint.selectionStart = view.selectionStart - start;
                    paint.selectionEnd = view.selectionEnd - start;
                    paint.selectionFormat = view.selectionFormat;
                }
                if (view.caretShown && !composing && line == cursorLine)
                    paint.cursor = view.cursor - start;
                paint.cursorWidth = kCursorWidth;
                m_layouts.draw(line, paint);
                if (line == preeditLine) {
                    // A long line shows the text being composed over its place.
                    const QString &text = view.preedit->text();
                    const int at = start + std::min(view.preedit->column(), lineLength);
                    const QRectF caret = characterRect(at, 1, view.scrollX).toRect();
                    const QFontMetricsF metrics(m_font);
                    const QRectF box(caret.left(), caret.top(), metrics.horizontalAdvance(text), caret.height());
                    painter->fillRect(box, view.base);
                    painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
                    painter->drawLine(box.bottomLeft(), box.bottomRight());
                }
            }
        }
        offset.ry() += lineHeight;
        if (offset.y() > view.viewHeight)
            break;
    }
}

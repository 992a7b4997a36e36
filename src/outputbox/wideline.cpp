#include "outputbox/wideline.h"

#include "outputbox/lineshaper.h"

#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBlock = 64;
constexpr int kContext = 8;
// Qt shapes no run longer than this; it starts a new one after as many characters.
constexpr int kQtRunLimit = 4096;

// Where Qt starts a new script run: a character of a real script other than the
// run's own, unless it is a combining mark; characters of no script of their
// own (spaces, punctuation, digits, marks) stay in the run before them.
std::vector<int> scriptRunStarts(QStringView line)
{
    std::vector<int> starts{0};
    QChar::Script script = QChar::Script_Common;
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size; ++i) {
        const qsizetype at = i;
        char32_t ucs4 = line[i].unicode();
        if (QChar::isHighSurrogate(ucs4) && i + 1 < size && line[i + 1].isLowSurrogate()) {
            ucs4 = QChar::surrogateToUcs4(line[i], line[i + 1]);
            ++i;
        }
        const QChar::Script next = QChar::script(ucs4);
        if (next == script || next <= QChar::Script_Common)
            continue;
        if (script <= QChar::Script_Common) {
            script = next;
            continue;
        }
        const QChar::Category category = QChar::category(ucs4);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        starts.push_back(int(at));
        script = next;
    }
    return starts;
}

// Characters that always stand alone as a grapheme: the common case is decided
// without a boundary finder.
bool standsAlone(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x20 && u < 0x300) || (u >= 0x4e00 && u <= 0x9fff) || (u >= 0xff01 && u <= 0xff9d);
}

// The first grapheme boundary at or after `at`, not past `to`.
int graphemeBoundary(QStringView line, int at, int from, int to)
{
    if (standsAlone(line[at - 1]) && standsAlone(line[at]))
        return at;
    const int windowStart = std::max(from, at - 32);
    const int windowEnd = std::min(to, at + 32);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line.mid(windowStart, windowEnd - windowStart));
    finder.setPosition(at - windowStart);
    if (finder.isAtBoundary())
        return at;
    const qsizetype next = finder.toNextBoundary();
    return next < 0 ? windowEnd : windowStart + int(next);
}

// Two Latin letters side by side may be drawn as one glyph (fi, ffl).
bool mayJoin(QChar left, QChar right)
{
    return left.unicode() < 0x250 && right.unicode() < 0x250 && left.isLetter() && right.isLetter();
}

// Where to end a block near `at`: between two characters that are drawn apart
// (a ligature cut in two would draw differently), looking back a little for
// such a place, and never inside a grapheme; not past `to`.
int blockBoundary(QStringView line, int at, int from, int to)
{
    for (int back = at; back > at - 16 && back > from + 1; --back) {
        if (!mayJoin(line[back - 1], line[back])) {
            at = back;
            break;
        }
    }
    return graphemeBoundary(line, at, from, to);
}

} // namespace

void WideLine::build(QStringView line, LineShaper &shaper)
{
    m_blocks.clear();
    m_length = int(line.size());
    m_ascent = m_descent = m_leading = 0;

    std::vector<int> runs = scriptRunStarts(line);
    runs.push_back(m_length);
    for (size_t r = 0; r + 1 < runs.size(); ++r) {
        int at = runs[r];
        const int runEnd = runs[r + 1];
        while (at < runEnd) {
            // A tab is a run of its own and starts the count of the next one.
            qsizetype tab = line.mid(at, runEnd - at).indexOf(u'\t');
            const int textEnd = tab < 0 ? runEnd : at + int(tab);
            for (int from = at; from < textEnd; from += kQtRunLimit)
                addItem(line, from, std::min(textEnd, from + kQtRunLimit), shaper);
            if (tab < 0)
                break;
            m_blocks.push_back(Block{textEnd, 0, 0, true, 0});
            const LineShaper::Metrics blank = shaper.measure(u"\t", 0, 1);
            m_ascent = std::max(m_ascent, blank.ascent);
            m_descent = std::max(m_descent, blank.descent);
            m_leading = std::max(m_leading, blank.leading);
            at = textEnd + 1;
        }
    }

    m_x.resize(m_blocks.size() + 1);
    double x = 0;
    for (size_t k = 0; k < m_blocks.size(); ++k) {
        m_x[k] = x;
        x = m_blocks[k].tab ? shaper.tabEnd(x) : x + m_blocks[k].width;
    }
    m_x[m_blocks.size()] = x;

    // Qt keeps these in 1/64 pixel and rounds a line's height up to whole pixels.
    const qreal leading = std::max<qreal>(0, m_leading);
    m_height = std::ceil(m_ascent + m_descent + leading);
    m_base = m_ascent + leading;

    // As QTextLine counts it: trailing blanks included (the line does not wrap),
    // and a last glyph that reaches past its advance with what it overhangs.
    m_naturalWidth = m_x.back();
    if (!m_blocks.empty() && !m_blocks.back().tab) {
        const Block &last = m_blocks.back();
        const int from = last.start - last.before;
        const std::unique_ptr<QTextLayout> end = shaper.layout(line.mid(from).toString());
        const QTextLine text = end->lineAt(0);
        m_naturalWidth += text.naturalTextWidth() - text.cursorToX(m_length - from);
    }
}

void WideLine::addItem(QStringView line, int from, int to, LineShaper &shaper)
{
    for (int start = from; start < to;) {
        // The last block of a run takes up to half a block more rather than
        // leaving a sliver.
        const int end = to - start <= kBlock + kBlock / 2 ? to : blockBoundary(line, start + kBlock, from, to);
        const int before = std::min(kContext, start - from);
        const int after = std::min(kContext, to - end);
        const LineShaper::Metrics metrics
                = shaper.measure(line.mid(start - before, end - start + before + after), before, before + end - start);
        m_blocks.push_back(Block{start, quint8(before), quint8(after), false, float(metrics.width)});
        m_ascent = std::max(m_ascent, metrics.ascent);
        m_descent = std::max(m_descent, metrics.descent);
        m_leading = std::max(m_leading, metrics.leading);
        start = end;
    }
}

int WideLine::blockAt(int column) const
{
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), column,
                                     [](int value, const Block &block) { return value < block.start; });
    return std::max(0, int(it - m_blocks.begin()) - 1);
}

int WideLine::blockEnd(int index) const
{
    return index + 1 < int(m_blocks.size()) ? m_blocks[index + 1].start : m_length;
}

qreal WideLine::cursorToX(QStringView line, int column, LineShaper &shaper) const
{
    if (m_blocks.empty() || column <= 0)
        return 0;
    if (column >= m_length)
        return m_x.back();
    const int k = blockAt(column);
    const Block &block = m_blocks[k];
    if (column == block.start || block.tab)
        return m_x[k];
    const int end = blockEnd(k);
    const int from = block.start - block.before;
    const std::unique_ptr<QTextLayout> layout = shaper.layout(line.mid(from, end + block.after - from).toString());
    const QTextLine text = layout->lineAt(0);
    return m_x[k] + text.cursorToX(column - from) - text.cursorToX(block.before);
}

int WideLine::xToCursor(QStringView line, qreal x, LineShaper &shaper) const
{
    if (m_blocks.empty() || x <= 0)
        return 0;
    if (x >= m_x.back())
        return m_length;
    const auto it = std::upper_bound(m_x.begin(), m_x.end() - 1, double(x));
    const int k = std::max(0, int(it - m_x.begin()) - 1);
    const Block &block = m_blocks[k];
    const int end = blockEnd(k);
    if (block.tab)
        return x - m_x[k] < (m_x[k + 1] - m_x[k]) / 2 ? block.start : end;
    const int from = block.start - block.before;
    const std::unique_ptr<QTextLayout> layout = shaper.layout(line.mid(from, end + block.after - from).toString());
    const QTextLine text = layout->lineAt(0);
    const int column = text.xToCursor(x - m_x[k] + text.cursorToX(block.before)) + from;
    return std::clamp(column, int(block.start), end);
}

void WideLine::draw(QStringView line, const LinePaint &paint, LineShaper &shaper) const
{
    if (m_blocks.empty())
        return;
    // The part of the line in view, from its start.
    const qreal left = paint.clip.left() - paint.origin.x();
    const qreal right = paint.clip.right() + 1 - paint.origin.x();
    const auto visible = std::upper_bound(m_x.begin(), m_x.end() - 1, double(left));
    const int first = std::max(0, int(visible - m_x.begin()) - 1);
    const QRectF clip(paint.origin.x() + left, paint.origin.y(), right - left, m_height);
    for (int k = first; k < int(m_blocks.size()) && m_x[k] < right; ++k) {
        const Block &block = m_blocks[k];
        const int end = blockEnd(k);
        const bool last = end == m_length;
        const qreal x = paint.origin.x() + m_x[k];
        const int selectedFrom = std::max(paint.selectionStart, block.start);
        // Past the line's end the selection holds the line break, which Qt shows
        // on the line's last run.
        const int selectedTo = std::min(paint.selectionEnd, last ? end + 1 : end);
        const bool selected = selectedFrom < selectedTo;

        if (block.tab) {
            if (selected)
                paint.painter->fillRect(QRectF(x, paint.origin.y(), m_x[k + 1] - m_x[k], m_height),
                                        paint.selectionFormat.background());
            continue;
        }
        const std::unique_ptr<QTextLayout> layout = shaper.layout(line.mid(block.start, end - block.start).toString());
        const QTextLine text = layout->lineAt(0);
        // A block of other glyphs than the line's tallest sits on the line's
        // baseline, not on its own.
        const QPointF at(x, paint.origin.y() + m_base - (text.ascent() + std::max<qreal>(0, text.leading())));
        QList<QTextLayout::FormatRange> selections;
        if (selected)
            selections.append({selectedFrom - block.start, selectedTo - selectedFrom, paint.selectionFormat});
        layout->draw(paint.painter, at, selections, clip);
        if (paint.cursor >= block.start && (paint.cursor < end || (last && paint.cursor == end)))
            layout->drawCursor(paint.painter, at, paint.cursor - block.start, paint.cursorWidth);
    }
    // A caret on a tab, or after one at the very end, stands at the tab's start.
    if (paint.cursor >= 0) {
        const int k = blockAt(paint.cursor);
        if (m_blocks[k].tab && paint.cursor == m_blocks[k].start) {
            const qreal x = paint.origin.x() + m_x[k];
            paint.painter->fillRect(QRectF(x, paint.origin.y(), paint.cursorWidth, m_height),
                                    paint.painter->pen().brush());
        } else if (paint.cursor == m_length && m_blocks.back().tab) {
            paint.painter->fillRect(
                    QRectF(paint.origin.x() + m_x.back(), paint.origin.y(), paint.cursorWidth, m_height),
                    paint.painter->pen().brush());
        }
    }
}

#include "outputbox/view/longline.h"

#include "outputbox/document/linetext.h"
#include "outputbox/view/lineshaper.h"

#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kBlock = 64;
constexpr int kContext = 8;
// Qt shapes no run longer than this; it starts a new one after as many characters.
constexpr int kQtRunLimit = 4096;
constexpr int kNone = INT_MAX;
// Items remembered with their blocks: the few texts a repeating line is made of,
// and then some; about 10 kB each.
constexpr size_t kMaxMeasuredItems = 64;

// Qt's script runs, read from `at` on: gives back whether a run starts at the
// character, and keeps `script`, the run's own, up to date. A character of a real
// script other than the run's own starts one, unless it is a combining mark;
// characters of no script of their own (spaces, punctuation, digits, marks) stay
// in the run before them, and the first run takes the script of its first
// character that has one.
bool startsRun(char32_t ucs4, QChar::Script &script)
{
    // ASCII, most of any answer, without Qt's table look-up: its letters are
    // Latin, everything else in it is Common.
    const QChar::Script next = ucs4 < 0x80
            ? (char32_t((ucs4 | 0x20) - U'a') < 26 ? QChar::Script_Latin : QChar::Script_Common)
            : QChar::script(ucs4);
    if (next == script || next <= QChar::Script_Common)
        return false;
    if (script <= QChar::Script_Common) {
        script = next;
        return false;
    }
    const QChar::Category category = QChar::category(ucs4);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing)
        return false;
    script = next;
    return true;
}

// Hands visit(position, code point) the line's characters from `from` on, a
// piece of the buffer at a time, until it says to stop; gives back where it
// stopped, or the line's length.
template<typename Visit>
int forEachCharacter(const LineText &line, int from, Visit visit)
{
    const int size = line.size();
    int i = from;
    while (i < size) {
        const QStringView chunk = line.chunk(i, size);
        const int base = i;
        const int end = base + int(chunk.size());
        while (i < end) {
            char32_t ucs4 = chunk[i - base].unicode();
            int step = 1;
            if (QChar::isHighSurrogate(ucs4) && i + 1 < size) {
                const QChar low = i + 1 < end ? chunk[i + 1 - base] : line.at(i + 1);
                if (low.isLowSurrogate()) {
                    ucs4 = QChar::surrogateToUcs4(char16_t(ucs4), low.unicode());
                    step = 2;
                }
            }
            if (!visit(i, ucs4))
                return i;
            i += step;
        }
    }
    return size;
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

// A hash of an item's length and a few of its characters: a whole item is
// compared anyway before its blocks are taken over, and hashing every character
// of a line of millions would cost as much as comparing them.
size_t sampledHash(QStringView item)
{
    size_t hash = size_t(item.size());
    const qsizetype step = std::max<qsizetype>(1, item.size() / 32);
    for (qsizetype i = 0; i < item.size(); i += step)
        hash = hash * 31 + item[i].unicode();
    return hash;
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

void LongLine::build(const LineText &line, LineShaper &shaper)
{
    m_blocks.clear();
    m_extents.clear();
    // What was measured refers to the extents just dropped.
    m_measuredItems.clear();
    m_measuredItemCount = 0;
    m_extentsFull = false;
    m_length = line.size();
    m_runs.assign(1, Run{0, QChar::Script_Common});
    m_firstScripted = kNone;
    QChar::Script script = QChar::Script_Common;
    forEachCharacter(line, 0, [&](int at, char32_t ucs4) {
        const bool unscripted = script <= QChar::Script_Common;
        if (startsRun(ucs4, script)) {
            m_runs.push_back(Run{at, script});
        } else if (unscripted && script > QChar::Script_Common) {
            m_firstScripted = at;
            m_runs.front().script = script;
        }
        return true;
    });
    addBlocks(line, 0, m_blocks, shaper, [](int) { return false; });
    finish(line, 0, shaper);
}

void LongLine::replace(const LineText &line, int position, int removed, int inserted, LineShaper &shaper)
{
    const int delta = inserted - removed;
    const int size = line.size();
    if (m_extentsFull || m_blocks.empty() || size != m_length + delta || position < 0 || removed < 0 || inserted < 0
        || position + inserted > size) {
        build(line, shaper);
        return;
    }
    Edit edit{position, position + inserted, delta, size};
    // A high surrogate whose low half the edit took away or moved is read
    // again.
    if (edit.from > 0 && line.at(edit.from - 1).isHighSurrogate())
        --edit.from;
    const std::vector<int> dropped = readRunsAgain(line, edit);
    measureBlocksAgain(line, edit, dropped, shaper);
}

size_t LongLine::runsUpTo(int at) const
{
    return size_t(std::upper_bound(m_runs.begin(), m_runs.end(), at,
                                   [](int value, const Run &run) { return value < run.start; })
                  - m_runs.begin());
}

QChar::Script LongLine::scriptBefore(size_t run, int at) const
{
    return run == 0 && m_firstScripted >= at ? QChar::Script_Common : m_runs[run].script;
}

std::vector<int> LongLine::readRunsAgain(const LineText &line, Edit &edit)
{
    // Read again from the edit on until Qt's run at a character after the edit
    // is in the script it was in at that character before; from there on the
    // runs are the old ones, moved.
    const size_t kept = edit.from == 0 ? 1 : runsUpTo(edit.from - 1);
    size_t oldRun = kept - 1;
    QChar::Script script = edit.from == 0 ? QChar::Script_Common : scriptBefore(oldRun, edit.from);
    const bool wasUnscripted = script <= QChar::Script_Common;
    std::vector<Run> found;
    int firstScripted = kNone;
    QChar::Script firstScript = QChar::Script_Common;
    edit.synced = line.size();
    forEachCharacter(line, edit.from, [&](int at, char32_t ucs4) {
        if (at > edit.end) {
            const int old = at - edit.delta;
            while (oldRun + 1 < m_runs.size() && m_runs[oldRun + 1].start < old)
                ++oldRun;
            if (scriptBefore(oldRun, old) == script) {
                edit.synced = at;
                return false;
            }
        }
        const bool unscripted = script <= QChar::Script_Common;
        if (startsRun(ucs4, script))
            found.push_back(Run{at, script});
        else if (unscripted && script > QChar::Script_Common) {
            firstScripted = at;
            firstScript = script;
        }
        return true;
    });
    if (firstScripted != kNone) {
        m_firstScripted = firstScripted;
        m_runs.front().script = firstScript;
    } else if (wasUnscripted) {
        if (edit.synced == line.size()) {
            m_firstScripted = kNone;
            m_runs.front().script = QChar::Script_Common;
        } else if (m_firstScripted != kNone) {
            m_firstScripted += edit.delta;
        }
    }
    return spliceRuns(kept, runsUpTo(edit.synced - edit.delta - 1), found, edit.delta);
}

std::vector<int> LongLine::spliceRuns(size_t kept, size_t resumed, const std::vector<Run> &found, int delta)
{
    std::vector<int> dropped;
    for (size_t r = kept; r < resumed; ++r)
        dropped.push_back(m_runs[r].start);
    if (resumed - kept == found.size()) {
        std::copy(found.begin(), found.end(), m_runs.begin() + kept);
    } else {
        m_runs.erase(m_runs.begin() + kept, m_runs.begin() + resumed);
        m_runs.insert(m_runs.begin() + kept, found.begin(), found.end());
    }
    for (size_t r = kept + found.size(); r < m_runs.size(); ++r)
        m_runs[r].start += delta;
    return dropped;
}

void LongLine::measureBlocksAgain(const LineText &line, const Edit &edit, const std::vector<int> &dropped,
                                  LineShaper &shaper)
{
    // From the start of the item (or tab) before the edit, up to an item start
    // after it that was one before and from which on the runs are the old
    // ones: Qt cuts the rest of the line as it did.
    size_t first = size_t(blockAt(std::max(0, edit.from - 1)));
    while (first > 0 && m_blocks[first].before != 0)
        --first;
    size_t resumed = m_blocks.size();
    const auto resumes = [&](int at) {
        if (at < edit.end)
            return false;
        const size_t next = runsUpTo(at);
        if (next < m_runs.size() && m_runs[next].start < edit.synced)
            return false;
        const int old = at - edit.delta;
        const auto gone = std::upper_bound(dropped.begin(), dropped.end(), old);
        if (gone != dropped.end() && *gone < edit.synced - edit.delta)
            return false;
        const auto same = std::lower_bound(m_blocks.begin() + std::ptrdiff_t(first), m_blocks.end(), old,
                                           [](const Block &block, int value) { return block.start < value; });
        if (same == m_blocks.end() || same->start != old || same->before != 0)
            return false;
        resumed = size_t(same - m_blocks.begin());
        return true;
    };
    std::vector<Block> made;
    made.reserve(m_blocks.size() - first + 1);
    addBlocks(line, m_blocks[first].start, made, shaper, resumes);
    if (m_extentsFull) {
        build(line, shaper);
        return;
    }
    for (size_t k = first; k < resumed; ++k)
        --m_extents[m_blocks[k].extent].blocks;
    if (resumed - first == made.size()) {
        std::copy(made.begin(), made.end(), m_blocks.begin() + std::ptrdiff_t(first));
    } else {
        m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(first), m_blocks.begin() + std::ptrdiff_t(resumed));
        m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(first), made.begin(), made.end());
    }
    for (size_t k = first + made.size(); k < m_blocks.size(); ++k)
        m_blocks[k].start += edit.delta;
    m_length = line.size();
    finish(line, first, shaper);
}

template<typename Resume>
void LongLine::addBlocks(const LineText &line, int from, std::vector<Block> &out, LineShaper &shaper, Resume resume)
{
    const int size = line.size();
    auto run = m_runs.begin() + std::ptrdiff_t(runsUpTo(from));
    QString scratch;
    for (int at = from; at < size && !resume(at);) {
        while (run != m_runs.end() && run->start <= at)
            ++run;
        const int limit = std::min(at + kQtRunLimit, run == m_runs.end() ? size : run->start);
        at += addItem(line.mid(at, limit, &scratch), at, out, shaper);
    }
}

int LongLine::addItem(QStringView upToLimit, int from, std::vector<Block> &out, LineShaper &shaper)
{
    // The long lines of an answer repeat one text, so most stretches were met
    // before: they get the blocks they got then, which an edit that moves
    // where Qt cuts the line's items would otherwise measure one by one.
    const size_t key = sampledHash(upToLimit);
    for (const MeasuredItem &seen : m_measuredItems[key]) {
        if (seen.text != upToLimit)
            continue;
        const size_t first = out.size();
        out.insert(out.end(), seen.blocks.begin(), seen.blocks.end());
        for (size_t k = first; k < out.size(); ++k)
            out[k].start += from;
        for (const auto &[extent, blocks] : seen.extentUses)
            m_extents[extent].blocks += blocks;
        return seen.length;
    }
    const size_t first = out.size();
    // A tab is a run of its own and starts the count of the next one.
    const qsizetype tab = upToLimit.indexOf(u'\t');
    int length = int(upToLimit.size());
    if (tab == 0) {
        out.push_back(Block{from, 0, 0, true, extentOf(shaper.measure(u"\t", 0, 1)), 0});
        length = 1;
    } else if (tab > 0) {
        length = int(tab);
    }
    if (tab != 0)
        measureItem(upToLimit.first(length), from, out, shaper);
    if (m_measuredItemCount >= kMaxMeasuredItems) {
        m_measuredItems.clear();
        m_measuredItemCount = 0;
    }
    MeasuredItem measured{upToLimit.toString(), {out.begin() + std::ptrdiff_t(first), out.end()}, length, {}};
    for (Block &block : measured.blocks) {
        block.start -= from;
        const auto uses = std::find_if(measured.extentUses.begin(), measured.extentUses.end(),
                                       [&block](const auto &use) { return use.first == block.extent; });
        if (uses == measured.extentUses.end())
            measured.extentUses.emplace_back(block.extent, 1);
        else
            ++uses->second;
    }
    m_measuredItems[key].push_back(std::move(measured));
    ++m_measuredItemCount;
    return length;
}

void LongLine::measureItem(QStringView item, int from, std::vector<Block> &out, LineShaper &shaper)
{
    const int to = int(item.size());
    for (int start = 0; start < to;) {
        // The last block of a run takes up to half a block more rather than
        // leaving a sliver.
        const int end = to - start <= kBlock + kBlock / 2 ? to : blockBoundary(item, start + kBlock, 0, to);
        const int before = std::min(kContext, start);
        const int after = std::min(kContext, to - end);
        const LineShaper::Metrics metrics
                = shaper.measure(item.mid(start - before, end - start + before + after), before, before + end - start);
        out.push_back(
                Block{from + start, quint8(before), quint8(after), false, extentOf(metrics), float(metrics.width)});
        start = end;
    }
}

quint8 LongLine::extentOf(const LineShaper::Metrics &metrics)
{
    for (size_t i = 0; i < m_extents.size(); ++i) {
        Extent &extent = m_extents[i];
        if (extent.metrics.ascent == metrics.ascent && extent.metrics.descent == metrics.descent
            && extent.metrics.leading == metrics.leading) {
            ++extent.blocks;
            return quint8(i);
        }
    }
    constexpr size_t kMaxExtents = 256;
    if (m_extents.size() == kMaxExtents) {
        // So many fonts on one line: the last entry keeps the largest of the
        // rest, and an edit builds the table again.
        m_extentsFull = true;
        Extent &last = m_extents.back();
        last.metrics.ascent = std::max(last.metrics.ascent, metrics.ascent);
        last.metrics.descent = std::max(last.metrics.descent, metrics.descent);
        last.metrics.leading = std::max(last.metrics.leading, metrics.leading);
        ++last.blocks;
        return quint8(kMaxExtents - 1);
    }
    m_extents.push_back(Extent{metrics, 1});
    return quint8(m_extents.size() - 1);
}

void LongLine::finish(const LineText &line, size_t first, LineShaper &shaper)
{
    m_x.resize(m_blocks.size() + 1);
    double x = first == 0 ? 0 : m_x[first];
    for (size_t k = first; k < m_blocks.size(); ++k) {
        m_x[k] = x;
        x = m_blocks[k].tab ? shaper.tabEnd(x) : x + m_blocks[k].width;
    }
    m_x[m_blocks.size()] = x;

    qreal ascent = 0;
    qreal descent = 0;
    qreal leading = 0;
    for (const Extent &extent : m_extents) {
        if (extent.blocks > 0) {
            ascent = std::max(ascent, extent.metrics.ascent);
            descent = std::max(descent, extent.metrics.descent);
            leading = std::max(leading, extent.metrics.leading);
        }
    }
    // Qt keeps these in 1/64 pixel and rounds a line's height up to whole pixels.
    m_height = std::ceil(ascent + descent + std::max<qreal>(0, leading));
    m_base = ascent + std::max<qreal>(0, leading);

    // As QTextLine counts it: trailing blanks included (the line does not wrap),
    // and a last glyph that reaches past its advance with what it overhangs.
    m_naturalWidth = m_x.back();
    if (!m_blocks.empty() && !m_blocks.back().tab) {
        const Block &last = m_blocks.back();
        const int from = last.start - last.before;
        QString scratch;
        const std::unique_ptr<QTextLayout> end = shaper.layout(line.mid(from, m_length, &scratch).toString());
        const QTextLine text = end->lineAt(0);
        m_naturalWidth += text.naturalTextWidth() - text.cursorToX(m_length - from);
    }
}

int LongLine::blockAt(int column) const
{
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), column,
                                     [](int value, const Block &block) { return value < block.start; });
    return std::max(0, int(it - m_blocks.begin()) - 1);
}

int LongLine::blockEnd(int index) const
{
    return index + 1 < int(m_blocks.size()) ? m_blocks[index + 1].start : m_length;
}

qreal LongLine::cursorToX(const LineText &line, int column, LineShaper &shaper) const
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
    QString scratch;
    const std::unique_ptr<QTextLayout> layout = shaper.layout(line.mid(from, end + block.after, &scratch).toString());
    const QTextLine text = layout->lineAt(0);
    return m_x[k] + text.cursorToX(column - from) - text.cursorToX(block.before);
}

int LongLine::xToCursor(const LineText &line, qreal x, LineShaper &shaper) const
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
    QString scratch;
    const std::unique_ptr<QTextLayout> layout = shaper.layout(line.mid(from, end + block.after, &scratch).toString());
    const QTextLine text = layout->lineAt(0);
    const int column = text.xToCursor(x - m_x[k] + text.cursorToX(block.before)) + from;
    return std::clamp(column, int(block.start), end);
}

void LongLine::draw(const LineText &line, const LinePaint &paint, LineShaper &shaper) const
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
        QString scratch;
        const std::unique_ptr<QTextLayout> layout = shaper.layout(line.mid(block.start, end, &scratch).toString());
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

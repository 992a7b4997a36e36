#include "outputbox/view/linelayouts.h"

#include "outputbox/document/linetext.h"
#include "outputbox/document/textbuffer.h"
#include "outputbox/view/longline.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// A few screens of lines; past that the least recently used half goes.
constexpr size_t kKeep = 600;
} // namespace

struct LineLayouts::Entry
{
    std::unique_ptr<QTextLayout> layout;
    std::unique_ptr<LongLine> longLine;
    qreal height = 0;
    qreal width = 0;
    std::uint64_t used = 0;
};

LineLayouts::LineLayouts(const TextBuffer &buffer)
    : m_buffer(buffer)
{ }

LineLayouts::~LineLayouts() = default;

void LineLayouts::setFont(const QFont &font, QPaintDevice *device)
{
    m_shaper.setFont(font, device);
    clear();
}

void LineLayouts::clear()
{
    m_entries.clear();
    m_widest = 0;
    m_widestLine = -1;
}

void LineLayouts::linesReplaced(int first, int removed, int added, int position, int removedLength, int insertedLength)
{
    if (removed == 1 && added == 1) {
        const auto found = m_entries.find(first);
        if (found != m_entries.end() && found->second.longLine && isLong(first)) {
            // Typing into a line of millions of characters: measuring it all
            // again would cost more than a frame.
            Entry &edited = found->second;
            edited.longLine->replace(textOf(first), position - m_buffer.lineStart(first), removedLength, insertedLength,
                                     m_shaper);
            edited.height = edited.longLine->height();
            edited.width = edited.longLine->naturalWidth();
            if (m_widestLine == first)
                forgetWidest();
            else
                noteWidth(first, edited.width);
            return;
        }
    }
    std::unordered_map<int, Entry> kept;
    kept.reserve(m_entries.size());
    for (auto &[line, entry] : m_entries) {
        if (line < first)
            kept.emplace(line, std::move(entry));
        else if (line >= first + removed)
            kept.emplace(line + added - removed, std::move(entry));
    }
    m_entries = std::move(kept);

    if (m_widestLine >= first + removed) {
        m_widestLine += added - removed;
    } else if (m_widestLine >= first) {
        forgetWidest();
    }
}

void LineLayouts::forgetWidest()
{
    // The widest line changed: what is left decides, as QPlainTextEdit looks
    // again at the lines it has laid out.
    m_widest = 0;
    m_widestLine = -1;
    for (const auto &[line, entry] : m_entries)
        noteWidth(line, entry.width);
}

LineText LineLayouts::textOf(int line) const
{
    return LineText(m_buffer, line);
}

bool LineLayouts::isLong(int line) const
{
    return m_buffer.lineLength(line) >= LongLine::kMinLength;
}

LineLayouts::Entry &LineLayouts::entry(int line)
{
    ++m_uses;
    const auto found = m_entries.find(line);
    if (found != m_entries.end()) {
        found->second.used = m_uses;
        return found->second;
    }
    if (m_entries.size() >= kKeep) {
        std::vector<std::uint64_t> uses;
        uses.reserve(m_entries.size());
        for (const auto &kept : m_entries)
            uses.push_back(kept.second.used);
        std::nth_element(uses.begin(), uses.begin() + uses.size() / 2, uses.end());
        const std::uint64_t median = uses[uses.size() / 2];
        for (auto it = m_entries.begin(); it != m_entries.end();)
            it = it->second.used <= median ? m_entries.erase(it) : std::next(it);
    }

    Entry &made = m_entries[line];
    made.used = m_uses;
    if (isLong(line)) {
        made.longLine = std::make_unique<LongLine>();
        made.longLine->build(textOf(line), m_shaper);
        made.height = made.longLine->height();
        made.width = made.longLine->naturalWidth();
    } else {
        made.layout = m_shaper.layout(textOf(line).toString());
        const QTextLine text = made.layout->lineAt(0);
        made.height = text.height();
        // QPlainTextEdit's document layout lets a negative leading pull the
        // next line up.
        if (text.leading() < 0)
            made.height += std::ceil(text.leading());
        made.width = text.naturalTextWidth();
    }
    noteWidth(line, made.width);
    return made;
}

void LineLayouts::noteWidth(int line, qreal width)
{
    const qreal withMargins = width + 2 * kMargin;
    if (withMargins > m_widest) {
        m_widest = withMargins;
        m_widestLine = line;
    }
}

qreal LineLayouts::height(int line)
{
    return entry(line).height;
}

qreal LineLayouts::cursorToX(int line, int column)
{
    Entry &found = entry(line);
    if (found.longLine)
        return found.longLine->cursorToX(textOf(line), column, m_shaper);
    return found.layout->lineAt(0).cursorToX(column);
}

int LineLayouts::xToCursor(int line, qreal x)
{
    Entry &found = entry(line);
    if (found.longLine)
        return found.longLine->xToCursor(textOf(line), x, m_shaper);
    return found.layout->lineAt(0).xToCursor(x);
}

void LineLayouts::draw(int line, const LinePaint &paint)
{
    Entry &found = entry(line);
    if (found.longLine) {
        found.longLine->draw(textOf(line), paint, m_shaper);
        return;
    }
    QList<QTextLayout::FormatRange> selections;
    if (paint.selectionEnd > paint.selectionStart)
        selections.append({paint.selectionStart, paint.selectionEnd - paint.selectionStart, paint.selectionFormat});
    found.layout->draw(paint.painter, paint.origin, selections, paint.clip);
    if (paint.cursor >= 0)
        found.layout->drawCursor(paint.painter, paint.origin, paint.cursor, paint.cursorWidth);
}

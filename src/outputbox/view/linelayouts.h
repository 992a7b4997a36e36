#pragma once

#include "outputbox/view/linepaint.h"
#include "outputbox/view/lineshaper.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <unordered_map>

class LineText;
class QTextLayout;
class TextBuffer;
class LongLine;

// The laid-out lines of the output box, made when a line is first shown or
// measured and kept while it may be shown again. A line is laid out the way
// QPlainTextEdit lays out a block, so both draw the same pixels; a very long
// line gets a LongLine instead, which lays out only what is in view.
class LineLayouts
{
public:
    // QTextDocument's default margin around the text, which QPlainTextEdit shows.
    static constexpr qreal kMargin = 4;

    explicit LineLayouts(const TextBuffer &buffer);
    ~LineLayouts();

    void setFont(const QFont &font, QPaintDevice *device);
    // Forgets every line (the text was replaced).
    void clear();
    // Lines [first, first + removed) were replaced by `added` new ones: the
    // text's [position, position + removedLength) became insertedLength
    // characters. An edit inside one long line updates its table in place.
    void linesReplaced(int first, int removed, int added, int position, int removedLength, int insertedLength);

    // Whether a line is laid out in stretches rather than whole: QTextLayout
    // takes seconds over a line of a million characters.
    bool isLong(int line) const;

    // As QPlainTextEdit's document layout counts a line's height.
    qreal height(int line);
    // From the start of the line's text.
    qreal cursorToX(int line, int column);
    int xToCursor(int line, qreal x);

    // The widest line laid out so far, margins included, as QPlainTextEdit
    // sizes its horizontal scroll bar by the lines it has laid out.
    qreal widestSeen() const { return m_widest; }
    const LineShaper &shaper() const { return m_shaper; }

    void draw(int line, const LinePaint &paint);

private:
    struct Entry;
    Entry &entry(int line);
    LineText textOf(int line) const;
    void forgetWidest();
    void noteWidth(int line, qreal width);

    const TextBuffer &m_buffer;
    LineShaper m_shaper;
    std::unordered_map<int, Entry> m_entries;
    std::uint64_t m_uses = 0;
    qreal m_widest = 0;
    int m_widestLine = -1;
};

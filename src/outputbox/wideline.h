#pragma once

#include "outputbox/linepaint.h"

#include <QStringView>

#include <vector>

class LineShaper;

// Geometry of one very long line (a purge of 100,000 URLs can answer with a
// single line of 700,000 characters) without laying out the whole line: the
// line is cut into blocks of about 64 characters, each block's advance is
// measured once (and looked up again wherever the same characters repeat), and
// a table of x positions at the block starts gives any character's place. Only
// the blocks in view are ever laid out for drawing.
//
// The blocks follow the runs Qt itself shapes a line in (a script run, a tab on
// its own, at most 4096 characters each) and are measured with a few neighbours
// of context, so a block's advance is what it adds to the whole line laid out at
// once: kerning and ligatures across block edges land where Qt puts them.
// Right-to-left text is drawn left to right here; such lines are never this long
// in the program's answers.
class WideLine
{
public:
    // Shorter lines are laid out whole: that costs less than a millisecond.
    static constexpr int kMinLength = 4096;

    void build(QStringView line, LineShaper &shaper);

    qreal naturalWidth() const { return m_naturalWidth; }
    qreal height() const { return m_height; }
    // From the top of the line to its baseline.
    qreal base() const { return m_base; }

    // Both in pixels from the start of the line's text.
    qreal cursorToX(QStringView line, int column, LineShaper &shaper) const;
    int xToCursor(QStringView line, qreal x, LineShaper &shaper) const;

    void draw(QStringView line, const LinePaint &paint, LineShaper &shaper) const;

private:
    struct Block
    {
        int start;
        quint8 before; // characters of context measured with the block on each side
        quint8 after;
        bool tab;
        float width;
    };

    int blockAt(int column) const;
    int blockEnd(int index) const;
    void addItem(QStringView line, int from, int to, LineShaper &shaper);

    std::vector<Block> m_blocks;
    std::vector<double> m_x; // x at every block start, and at the end
    int m_length = 0;
    qreal m_naturalWidth = 0;
    qreal m_ascent = 0;
    qreal m_descent = 0;
    qreal m_leading = 0;
    qreal m_height = 0;
    qreal m_base = 0;
};

#pragma once

#include "outputbox/view/linepaint.h"
#include "outputbox/view/lineshaper.h"

#include <QChar>
#include <QString>

#include <unordered_map>
#include <vector>

class LineText;

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
//
// An edit measures again only the blocks around it, as long as the runs after it
// keep their starts (as they do while the operator types); the table is then the
// one a fresh build of the edited line gives.
class LongLine
{
public:
    // Shorter lines are laid out whole: that costs less than a millisecond.
    static constexpr int kMinLength = 4096;

    void build(const LineText &line, LineShaper &shaper);
    // line[position, position + inserted) replaced `removed` characters there;
    // `line` is the text after the edit.
    void replace(const LineText &line, int position, int removed, int inserted, LineShaper &shaper);

    qreal naturalWidth() const { return m_naturalWidth; }
    qreal height() const { return m_height; }
    // From the top of the line to its baseline.
    qreal base() const { return m_base; }

    // Both in pixels from the start of the line's text.
    qreal cursorToX(const LineText &line, int column, LineShaper &shaper) const;
    int xToCursor(const LineText &line, qreal x, LineShaper &shaper) const;

    void draw(const LineText &line, const LinePaint &paint, LineShaper &shaper) const;

private:
    struct Block
    {
        int start;
        quint8 before; // characters of context measured with the block on each side
        quint8 after;
        bool tab;
        quint8 extent; // index into m_extents
        float width;
    };
    // A script run, and the script it started with.
    struct Run
    {
        int start;
        QChar::Script script;
    };
    // The vertical metrics blocks measured, and how many blocks did: the line's
    // height follows the tallest block still there.
    struct Extent
    {
        LineShaper::Metrics metrics;
        int blocks;
    };

    // An edit as the table follows it: the text's [from, end) is new (from
    // moved back over a split surrogate pair), `delta` characters more than
    // before; the runs are the old ones, moved, from `synced` on.
    struct Edit
    {
        int from;
        int end;
        int delta;
        int synced;
    };

    // How many runs start at or before `at`: the one search of the run table.
    size_t runsUpTo(int at) const;
    // The script of Qt's run at `at`, which lies in run number `run`.
    QChar::Script scriptBefore(size_t run, int at) const;
    // The edit's script runs; gives back the starts of the old runs it dropped.
    std::vector<int> readRunsAgain(const LineText &line, Edit &edit);
    std::vector<int> spliceRuns(size_t kept, size_t resumed, const std::vector<Run> &found, int delta);
    void measureBlocksAgain(const LineText &line, const Edit &edit, const std::vector<int> &dropped,
                            LineShaper &shaper);
    int blockAt(int column) const;
    int blockEnd(int index) const;
    // The blocks from `from` (a run's start, a tab, or where Qt starts a new run
    // after kQtRunLimit characters) up to the end of the line, or up to where
    // `resume` says the old blocks can be taken over.
    template<typename Resume>
    void addBlocks(const LineText &line, int from, std::vector<Block> &out, LineShaper &shaper, Resume resume);
    // The blocks of Qt's next item, up to a tab or the run's limit; gives back
    // how many characters they took.
    int addItem(QStringView upToLimit, int from, std::vector<Block> &out, LineShaper &shaper);
    void measureItem(QStringView item, int from, std::vector<Block> &out, LineShaper &shaper);
    quint8 extentOf(const LineShaper::Metrics &metrics);
    // Positions from block `first` on, and the line's size.
    void finish(const LineText &line, size_t first, LineShaper &shaper);

    std::vector<Block> m_blocks;
    std::vector<double> m_x; // x at every block start, and at the end
    std::vector<Run> m_runs;
    std::vector<Extent> m_extents;
    // The text up to a run's limit, the blocks of the item it starts with
    // (starts counted from the item's) and how many characters those took.
    struct MeasuredItem
    {
        QString text;
        std::vector<Block> blocks;
        int length;
        std::vector<std::pair<quint8, int>> extentUses; // blocks of each extent
    };
    std::unordered_map<size_t, std::vector<MeasuredItem>> m_measuredItems;
    size_t m_measuredItemCount = 0;
    bool m_extentsFull = false;
    // Where the first run meets its first character of a script of its own (up
    // to there, any script may start it), or kNone.
    int m_firstScripted = 0;
    int m_length = 0;
    qreal m_naturalWidth = 0;
    qreal m_height = 0;
    qreal m_base = 0;
};

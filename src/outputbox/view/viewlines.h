#pragma once

#include "outputbox/view/linelayouts.h"
#include "outputbox/view/preedit.h"

#include <QFont>
#include <QRect>
#include <QTextCharFormat>

#include <optional>

class QPainter;
class QPaintDevice;
class TextBuffer;

// The output box's lines as they stand in its view, the way QPlainTextEdit
// places them: which line is at the top, where each line is, what is under a
// point, which line the view must start at to show another, and the drawing of
// the lines in view. The widget keeps the scroll bars and says where they are.
//
// Coordinates are the viewport's; x counts from the text's start, scrolling
// and margin included, where a function says so.
class ViewLines
{
public:
    static constexpr qreal kMargin = LineLayouts::kMargin;
    static constexpr int kCursorWidth = 1;

    explicit ViewLines(const TextBuffer &buffer);

    // The laid-out lines, which an edit updates and which lay out on demand.
    LineLayouts &layouts() { return m_layouts; }
    const LineLayouts &layouts() const { return m_layouts; }
    void setFont(const QFont &font, QPaintDevice *device);
    // A new text starts again at the top, with nothing laid out.
    void clear();
    int topLine() const { return m_topLine; }
    void setTopLine(int line) { m_topLine = line; }

    // Top of a line (lines above the view too).
    qreal lineTop(int line) const;
    // x from the start of the text, without margin and scrolling.
    qreal textX(int position) const;
    // The position on a line nearest that x.
    int positionOnLine(int line, qreal x) const;
    QRectF characterRect(int position, int width, qreal scrollX) const;
    int positionAt(const QPointF &point, qreal scrollX) const;

    // The vertical scroll bar's end and page when the view is this high: it
    // counts lines, and its end is the first line of the last page that fits whole.
    std::pair<int, int> scrollRange(qreal viewHeight) const;
    // Where the view's left edge goes to show a position: where it is while
    // the position shows, else with the position in the middle.
    int leftShowing(int position, int left, int viewWidth) const;
    // The line that holds a position, whole and a pixel more: a cheap repaint
    // that takes the caret's old place on that line along.
    QRect lineArea(int position, int viewWidth) const;
    // The top line that shows a line with as few lines moving as can be.
    int topShowing(int line, qreal viewHeight) const;
    // Where Page Down or Up takes the view (its top line, at most maxTop, as
    // the scroll bar has it) and the caret (its line), as QPlainTextEdit pages:
    // the view moves by the lines that fit whole, and the caret goes to the
    // line at the height pageY on screen.
    struct Page
    {
        int top;
        int line;
    };
    enum class PageDirection { Up, Down };
    Page page(PageDirection direction, int caretLine, qreal pageY, qreal viewHeight, int maxTop) const;

    // What one paint of the view shows: the area to draw, where the view
    // stands, the selection, the carets and the text being composed.
    struct ViewPaint
    {
        QRect area; // to draw, clipped already
        qreal scrollX = 0;
        int viewHeight = 0;
        int selectionStart = 0;
        int selectionEnd = 0;
        QTextCharFormat selectionFormat;
        int cursor = 0;
        bool caretShown = false;
        bool preeditCaretShown = false;   // the composing caret shows in a disabled box too
        const Preedit *preedit = nullptr; // shown at its own position, not the caret's
        QBrush base;                      // behind text being composed on a long line
    };
    void draw(QPainter *painter, const ViewPaint &view) const;
    // Lays out the lines draw() would draw in a view this high.
    void layOutView(qreal viewHeight) const;

    // Where a drag past the view's edge scrolls, and how soon again: faster
    // the farther the mouse is outside. None while it is inside.
    enum class ScrollStep { None, Back, Forward }; // a scroll bar's single step
    struct AutoScroll
    {
        int interval; // ms
        ScrollStep vertical;
        ScrollStep horizontal;
    };
    static std::optional<AutoScroll> autoScroll(const QRect &visible, const QPoint &mouse);

private:
    int lineAtY(qreal y) const;
    // The top line Page Down scrolls to, by the lines that fit whole; -1 when
    // the last line shows already and the caret goes to it instead.
    int pageDownTop(qreal viewHeight) const;
    // The top line Page Up scrolls to: a view's height of lines above this one.
    int pageUpTop(qreal viewHeight) const;
    // With the view at topLine: a line's top, and from a line on, the first
    // line whose top is past (down) or before y.
    qreal lineTop(int topLine, int line) const;
    int lineReaching(int topLine, int line, qreal y, PageDirection direction) const;
    void drawPreeditLine(QPainter *painter, int line, const QPointF &origin, const ViewPaint &view) const;

    const TextBuffer &m_buffer;
    // Laid out when first asked about, even by a question that changes
    // nothing else: a cache.
    mutable LineLayouts m_layouts;
    QFont m_font;
    int m_topLine = 0;
};

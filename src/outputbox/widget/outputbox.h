#pragma once

#include "outputbox/document/outputdocument.h"
#include "outputbox/view/boxclipboard.h"
#include "outputbox/view/caretblink.h"
#include "outputbox/view/clickunits.h"
#include "outputbox/view/preedit.h"
#include "outputbox/view/viewlines.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>

class QMenu;

// The window's output box (Text3). It looks and behaves like the QPlainTextEdit
// it replaces (no wrap, both scroll bars, the widget's font, the same pixels),
// but an answer of 50 MB, a million lines or one line of 700,000 characters
// shows at once and stays quick to scroll and edit: the text sits in one buffer
// with a table of line starts, and only the lines in view are ever laid out.
//
// The text, caret and editing are the OutputDocument's; the box shows it and
// turns keys, mouse, input methods and drops into its edits. Callers reach the
// text and caret through document(); the box adds only what is on screen.
class OutputBox : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit OutputBox(QWidget *parent = nullptr);
    ~OutputBox() override;

    // The text, caret, selection, edits and undo: everything but what is on
    // screen.
    OutputDocument *document() { return &m_document; }
    const OutputDocument *document() const { return &m_document; }

    int firstVisibleLine() const { return m_lines.topLine(); }
    // Viewport coordinates.
    QRect cursorRect() const { return characterRect(m_document.cursorPosition(), 1); }
    QRect characterRect(int position, int width) const;
    int positionAt(const QPoint &viewportPoint) const;
    void ensureCursorVisible() { ensureVisible(m_document.cursorPosition()); }
    // Shows the position as QPlainTextEdit shows its caret: the fewest lines
    // scrolled up or down, and sideways back to the middle once it left the view.
    void ensureVisible(int position);
    // Adds an answer's next part at the end. The view stays where the operator
    // left it, unless it showed the last line: then it follows the end, as a
    // terminal does.
    void appendAnswer(QStringView text);

    QMenu *createStandardContextMenu();
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

public slots:
    // Empties the box, as QPlainTextEdit's clear() does: no undo history left.
    void clear() { m_document.setText(QString()); }
    void undo() { m_document.undo(); }
    void redo() { m_document.redo(); }
    void cut() { BoxClipboard::cut(m_document); }
    void copy() { BoxClipboard::copy(m_document); }
    void paste() { BoxClipboard::paste(m_document); }
    // Selects everything and, as QPlainTextEdit does, leaves the view where it is.
    void selectAll();

signals:
    void textChanged();
    void cursorPositionChanged();
    void selectionChanged();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    using MoveMode = OutputDocument::MoveMode;

    // What the document's changes mean for the view.
    void textReset(int oldCursor, int oldAnchor);
    void textReplaced(const OutputDocument::Change &change);
    void caretMoved(int oldCursor, int oldAnchor);

    // Whether a press at a point belongs to the input method; commits what it
    // composes otherwise.
    bool endComposing(const QPoint &at);
    // Where the composed text shows: its column, or its line's end.
    int composedAt() const;
    void startDrag();
    bool isOntoItself(const QDropEvent *event, int position) const;
    // A press, or a drag after a double or triple click, extending the
    // selection by words or whole lines as the click that started it chose.
    void extendSelection(int position, qreal mouseX);
    // The caret's x kept over moves up and down, measured when there is none.
    qreal preferredX();
    void moveVertically(int lines, MoveMode mode);
    void page(ViewLines::PageDirection direction, MoveMode mode);

    void adjustScrollbars();
    void updateHorizontalRange();
    qreal documentWidth() const;
    void restartBlinking();
    void updateLineOf(int position);
    void autoScroll();
    void setFontOfLayouts();

    OutputDocument m_document;
    ViewLines m_lines; // reads the document's lines to lay them out

    qreal m_pageY = 0; // the caret's height on screen over a run of page keys
    bool m_pageYValid = false;
    CaretBlink m_blink;

    // Mouse selection
    bool m_selecting = false;
    ClickUnits m_clickUnits;
    // How many HoldViews are alive: while any is, a caret move does not scroll
    // (a drag, a double click or Select All leave the view where it is, as
    // QPlainTextEdit's do).
    int m_viewHeld = 0;
    QPoint m_lastMouse;
    QBasicTimer m_autoScrollTimer;
    // A press inside the selection may start dragging it away.
    bool m_mayDrag = false;
    QPoint m_dragFrom;
    int m_dropPosition = -1; // where a drag over the box would drop, shown as a caret

    Preedit m_preedit;
};

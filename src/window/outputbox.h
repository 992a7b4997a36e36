#pragma once

#include "window/edithistory.h"
#include "window/linelayouts.h"
#include "window/textbuffer.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QInputMethodEvent>
#include <QPoint>

class QMenu;
class QMimeData;

// The window's output box (Text3). It looks and behaves like the QPlainTextEdit
// it replaces (no wrap, both scroll bars, the widget's font, the same pixels),
// but an answer of 50 MB, a million lines or one line of 700,000 characters
// shows at once and stays quick to scroll and edit: the text sits in one buffer
// with a table of line starts, and only the lines in view are ever laid out.
//
// Inside the box a line break is one position, as in QPlainTextEdit; setText()
// and text() are where the program's CR LF line ends come in and go out.
class OutputBox : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit OutputBox(QWidget *parent = nullptr);
    ~OutputBox() override;

    // CR LF, LF and a lone CR each end a line. The string is taken over, not
    // copied; undo history and selection are reset, as setPlainText() does.
    void setText(QString &&text);
    void setText(const QString &text) { setText(QString(text)); }
    // CR LF between lines, every other character as it is in the box.
    QString text() const;
    void clear() { setText(QString()); }

    // Positions: one per character, one per line break.
    int length() const { return m_buffer.length(); }
    int lineCount() const { return m_buffer.lineCount(); }
    int lineOfPosition(int position) const { return m_buffer.lineOfPosition(position); }
    int lineStart(int line) const { return m_buffer.lineStart(line); }
    int lineEnd(int line) const { return m_buffer.lineEnd(line); }
    // [from, to) with '\n' for every line break, as the clipboard gets it.
    QString textRange(int from, int to) const;

    int cursorPosition() const { return m_cursor; }
    int anchorPosition() const { return m_anchor; }
    void setCursorPosition(int position) { setSelection(position, position); }
    void setSelection(int anchor, int cursor);
    bool hasSelection() const { return m_cursor != m_anchor; }
    int selectionStart() const { return std::min(m_cursor, m_anchor); }
    int selectionEnd() const { return std::max(m_cursor, m_anchor); }
    QString selectedText() const { return textRange(selectionStart(), selectionEnd()); }

    // Replaces [from, to) as an edit the operator can undo; the caret ends after it.
    void replaceRange(int from, int to, const QString &text);

    bool isUndoAvailable() const { return m_history.canUndo(); }
    bool isRedoAvailable() const { return m_history.canRedo(); }

    int firstVisibleLine() const { return m_topLine; }
    // Viewport coordinates.
    QRect cursorRect() const { return characterRect(m_cursor, 1); }
    QRect characterRect(int position, int width) const;
    int positionAt(const QPoint &viewportPoint) const;
    void ensureCursorVisible() { ensureVisible(m_cursor); }
    // Scrolls as little as it takes to show the position.
    void ensureVisible(int position);

    QMenu *createStandardContextMenu();
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

public slots:
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void selectAll();
    void deleteSelection();

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
    enum class Move { Keep, Select };

    // The one place text changes: every edit, undo and redo comes through here.
    TextBuffer::Pieces applyReplace(int from, int to, const TextBuffer::Pieces &with);
    void edit(int from, int to, QStringView text, EditHistory::Kind kind, bool chained = false);
    void startDrag();
    void moveCursor(int position, Move move);
    // Backspace, Delete and their word forms.
    void eraseFromCaret(bool forward, int (*move)(QStringView, int), EditHistory::Kind kind);
    void replay(bool undoing);
    // Undoes (or redoes) the next step of the history.
    void replayStep(bool undoing);
    void caretMoved(int oldCursor, int oldAnchor);
    bool handleEditKey(QKeyEvent *event);
    bool handleMoveKey(QKeyEvent *event);
    static bool isTypedText(const QKeyEvent *event);
    void moveVertically(int lines, Move move);
    void pageUpDown(bool down, Move move);
    void insertFromMimeData(const QMimeData *source);
    void setSelectionClipboard();

    void adjustScrollbars();
    void updateHorizontalRange();
    qreal documentWidth() const;
    // Top of a line in viewport coordinates (lines above the view too).
    qreal lineTop(int line) const;
    int lineAtY(qreal y) const;
    qreal caretX(int position) const;
    void restartBlinking();
    void updateLineOf(int position);
    void autoScroll();
    void setFontOfLayouts();
    void notifyAccessibility(int position, const TextBuffer::Pieces &removed, int inserted);

    void drawPreeditLine(QPainter *painter, int line, const QPointF &origin, const QRectF &clip);

    TextBuffer m_buffer;
    mutable LineLayouts m_layouts;
    EditHistory m_history;

    int m_cursor = 0;
    int m_anchor = 0;
    int m_topLine = 0;
    qreal m_preferredX = -1; // kept over Up and Down
    qreal m_pageY = 0;       // the caret's height on screen over a run of page keys
    bool m_pageYValid = false;
    bool m_cursorOn = false;
    QBasicTimer m_blinkTimer;

    // Mouse selection
    bool m_selecting = false;
    bool m_selectingWords = false;
    int m_wordAnchorStart = 0;
    int m_wordAnchorEnd = 0;
    QPoint m_lastMouse;
    QBasicTimer m_autoScrollTimer;
    QBasicTimer m_tripleClickTimer;
    QPoint m_tripleClickPoint;
    // A press inside the selection may start dragging it away.
    bool m_mayDrag = false;
    QPoint m_dragFrom;
    int m_dropPosition = -1; // where a drag over the box would drop, shown as a caret

    // An input method's text still being composed, shown at the caret.
    QString m_preedit;
    int m_preeditCursor = 0;
    bool m_preeditCursorVisible = true;
    QList<QInputMethodEvent::Attribute> m_preeditFormats;
};

#pragma once

#include "outputbox/document/edithistory.h"
#include "outputbox/document/textbuffer.h"

#include <QObject>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <algorithm>
#include <optional>
#include <utility>

class LineText;

// What the output box edits, without the box: the text, the caret and the
// anchor, the undo history, and every edit the operator can make, each as one
// call. The widget turns keys, input methods, the mouse and drops into these
// calls and follows the signals; keeping them here lets the editing be checked
// without a window, and gives a change in editing one place to go.
//
// Positions count one per character and one per line break, as in
// QPlainTextEdit; setText() and text() are where CR LF line ends come in and
// go out.
class OutputDocument : public QObject
{
    Q_OBJECT

public:
    // QTextCursor's names: MoveAnchor takes the anchor along, KeepAnchor leaves
    // it and so selects.
    enum class MoveMode { MoveAnchor, KeepAnchor };
    // Moves within the text alone; moves by lines and pages depend on how the
    // lines are laid out, so the view works out their target and calls moveCursor().
    enum class Move {
        NextCharacter,
        PreviousCharacter,
        NextWord,
        PreviousWord,
        LineStart,
        LineEnd,
        DocumentStart,
        DocumentEnd,
    };

    // One replacement in the text, for those who keep something per line.
    struct Change
    {
        int position = 0;
        int firstLine = 0;    // lines [firstLine, firstLine + removedLines) before
        int removedLines = 0; // became [firstLine, firstLine + addedLines)
        int addedLines = 0;
        TextBuffer::Pieces removed; // the text taken out; its pieces share their stores
        int inserted = 0;           // characters put in

        int removedLength() const { return TextBuffer::length(removed); }
    };
    // Whether an input method still composes after what it commits.
    enum class Composing { GoesOn, Ended };
    // Whether a drop copies the text or moves the selection there.
    enum class DropKind { Copy, MoveSelection };

    explicit OutputDocument(QObject *parent = nullptr);

    // CR LF, LF and a lone CR each end a line. The string is taken over, not
    // copied; undo history and selection are reset, as setPlainText() does.
    void setText(QString &&text);
    // CR LF between lines, every other character as it is in the box.
    QString text() const { return m_buffer.crlfText(); }
    const TextBuffer &buffer() const { return m_buffer; }

    int length() const { return m_buffer.length(); }
    int lineCount() const { return m_buffer.lineCount(); }
    int lineOfPosition(int position) const { return m_buffer.lineOfPosition(position); }
    int lineStart(int line) const { return m_buffer.lineStart(line); }
    int lineEnd(int line) const { return m_buffer.lineEnd(line); }
    // [from, to) with '\n' for every line break, as the clipboard gets it.
    QString textRange(int from, int to) const;
    // What an input method asks about the text around the caret; nothing for
    // questions of geometry and state, which are the view's.
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const;
    // The word at a position (a double click's), as [first, second).
    std::pair<int, int> wordAt(int position) const;

    int cursorPosition() const { return m_cursor; }
    int anchorPosition() const { return m_anchor; }
    bool hasSelection() const { return m_cursor != m_anchor; }
    int selectionStart() const { return std::min(m_cursor, m_anchor); }
    int selectionEnd() const { return std::max(m_cursor, m_anchor); }
    QString selectedText() const { return textRange(selectionStart(), selectionEnd()); }

    void setSelection(int anchor, int cursor);
    void setCursorPosition(int position) { setSelection(position, position); }
    void selectAll() { setSelection(0, length()); }
    // The whole line with its line break, as a triple click selects it.
    void selectLine(int position);
    void moveCursor(int position, MoveMode mode);
    void move(Move move, MoveMode mode);
    // Where the caret goes up and down (a distance the view measures), kept over
    // a run of such moves as QTextCursor keeps it; -1 when none. Edits and a new
    // selection forget it.
    qreal preferredX() const { return m_preferredX; }
    void setPreferredX(qreal x) { m_preferredX = x; }

    // Edits. Each replaces the selection, if there is one, and leaves the caret
    // after what it put in.
    // Typed text: text typed where the last insertion ended is one undo step
    // with it, as QTextDocument keeps it.
    void type(QStringView text);
    void insert(QStringView text); // Enter: a step of its own
    // Any line ends of the pasted text become the box's own.
    void paste(const QString &text);
    void deleteSelection();
    // Backspace and Delete, by character or by word; without a selection from
    // the caret across at most one line break.
    enum class EraseUnit { Character, Word };
    void eraseBackward(EraseUnit unit);
    void eraseForward(EraseUnit unit);
    // From the anchor to the end of the caret's line, as QPlainTextEdit does.
    void eraseToLineEnd();
    void eraseLine();
    // An edit the operator can undo, as from a screen reader.
    void replaceRange(int from, int to, QStringView text);
    // More of an answer as it arrives: added at the end, with its line ends
    // made the box's own. No undo step: the operator's own steps all lie before
    // it and keep their places. Caret and selection stay where they are.
    void append(QStringView text);

    // What an input method commits: its text, in place of a range beside the
    // caret when it gives one. Composing that goes on takes the selection away.
    void commitInput(const QString &text, int replacementStart, int replacementLength, Composing composing);
    // Text dropped at a position; moving the selection there takes it out of its
    // old place in the same undo step.
    void drop(int position, QStringView text, DropKind kind);

    bool isUndoAvailable() const { return m_history.canUndo(); }
    bool isRedoAvailable() const { return m_history.canRedo(); }
    void undo() { replay(Direction::Undo); }
    void redo() { replay(Direction::Redo); }

signals:
    // The whole text was replaced; caret and anchor were where given, and are 0.
    void textReset(int oldCursor, int oldAnchor);
    // Part of the text was replaced. The caret may still be where it was and
    // past the new end: caretMoved() follows, except after append(), which leaves
    // it where it was.
    void textReplaced(const OutputDocument::Change &change);
    // After every edit, undo and redo, and every caret move, even one that
    // leaves the caret where it was.
    void caretMoved(int oldCursor, int oldAnchor);

private:
    // The one place text changes: every edit, undo and redo comes through here.
    TextBuffer::Pieces applyReplace(int from, int to, const TextBuffer::Pieces &with);
    enum class Direction { Undo, Redo };

    // Whether it changed anything (and so recorded a step).
    bool edit(int from, int to, QStringView text, EditHistory::Kind kind);
    // An input method's text in place of its range: where it went in and where
    // the caret then goes, or nothing when it changed nothing.
    std::optional<std::pair<int, int>> commitReplacing(const QString &text, int replacementStart,
                                                       int replacementLength);
    enum class Side { Before, After };
    void eraseFromCaret(Side side, int (*move)(const LineText &, int), EditHistory::Kind kind);
    int target(Move move, MoveMode mode) const;
    void replay(Direction direction);

    TextBuffer m_buffer;
    EditHistory m_history;
    int m_cursor = 0;
    int m_anchor = 0;
    qreal m_preferredX = -1;
};

#include "outputbox/document/outputdocument.h"

#include "outputbox/document/caretmoves.h"
#include "outputbox/document/linetext.h"

#include <QVariant>

namespace {
// An input method sees this much of the caret's line on each side.
constexpr int kSurroundingReach = 1024;
} // namespace

OutputDocument::OutputDocument(QObject *parent)
    : QObject(parent)
{ }

void OutputDocument::setText(QString &&text)
{
    const int oldCursor = m_cursor;
    const int oldAnchor = m_anchor;
    m_buffer.setText(std::move(text));
    m_history.clear();
    m_cursor = m_anchor = 0;
    m_preferredX = -1;
    emit textReset(oldCursor, oldAnchor);
}

QString OutputDocument::textRange(int from, int to) const
{
    return TextBuffer::withLineBreaks(m_buffer.text(from, to));
}

std::pair<int, int> OutputDocument::wordAt(int position) const
{
    const int line = m_buffer.lineOfPosition(position);
    const int start = m_buffer.lineStart(line);
    const auto word = CaretMoves::wordAt(LineText(m_buffer, line), position - start);
    return {start + word.first, start + word.second};
}

QVariant OutputDocument::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const int line = m_buffer.lineOfPosition(m_cursor);
    int from = m_buffer.lineStart(line);
    int to = m_buffer.lineEnd(line);
    // An input method gets the caret's line, as from QPlainTextEdit; of a line
    // of a million characters only the part around the caret.
    if (to - from > 2 * kSurroundingReach) {
        from = std::max(from, m_cursor - kSurroundingReach);
        to = std::min(to, m_cursor + kSurroundingReach);
    }
    switch (query) {
    case Qt::ImCursorPosition:
        return m_cursor - from;
    case Qt::ImAnchorPosition:
        return m_anchor - from;
    case Qt::ImAbsolutePosition:
        return m_cursor;
    case Qt::ImSurroundingText:
        return textRange(from, to);
    case Qt::ImCurrentSelection: {
        // As QTextCursor::selectedText() gives it to an input method: a line
        // break as a paragraph separator.
        QString selection = m_buffer.text(selectionStart(), selectionEnd());
        selection.replace(TextBuffer::kLineBreak, QChar::ParagraphSeparator);
        return selection;
    }
    case Qt::ImTextBeforeCursor: {
        // Whole lines back until there is enough, as QPlainTextEdit gives it.
        int before = line;
        int start = m_buffer.lineStart(before);
        while (m_cursor - start < kSurroundingReach && before > 0)
            start = m_buffer.lineStart(--before);
        return textRange(std::max(start, m_cursor - 16 * kSurroundingReach), m_cursor);
    }
    case Qt::ImTextAfterCursor: {
        int after = line;
        int end = m_buffer.lineEnd(after);
        while (end - m_cursor < kSurroundingReach && after + 1 < lineCount())
            end = m_buffer.lineEnd(++after);
        return textRange(m_cursor, std::min(end, m_cursor + 16 * kSurroundingReach));
    }
    default:
        return QVariant();
    }
}

// ---------------------------------------------------------------------------
// Caret

void OutputDocument::setSelection(int anchor, int cursor)
{
    const int oldCursor = m_cursor;
    const int oldAnchor = m_anchor;
    m_anchor = std::clamp(anchor, 0, length());
    m_cursor = std::clamp(cursor, 0, length());
    m_preferredX = -1;
    emit caretMoved(oldCursor, oldAnchor);
}

void OutputDocument::selectLine(int position)
{
    const int line = m_buffer.lineOfPosition(position);
    setSelection(m_buffer.lineStart(line), std::min(length(), m_buffer.lineEnd(line) + 1));
}

void OutputDocument::moveCursor(int position, MoveMode mode)
{
    const int oldCursor = m_cursor;
    const int oldAnchor = m_anchor;
    m_cursor = std::clamp(position, 0, length());
    if (mode == MoveMode::MoveAnchor)
        m_anchor = m_cursor;
    emit caretMoved(oldCursor, oldAnchor);
}

void OutputDocument::move(Move move, MoveMode mode)
{
    const int to = target(move, mode);
    m_preferredX = -1;
    moveCursor(to, mode);
}

int OutputDocument::target(Move move, MoveMode mode) const
{
    const int line = m_buffer.lineOfPosition(m_cursor);
    const int start = m_buffer.lineStart(line);
    const int end = m_buffer.lineEnd(line);
    const int column = m_cursor - start;
    const LineText text(m_buffer, line);
    // Across a line's edge every move takes one step, over the line break.
    switch (move) {
    case Move::NextCharacter:
        // With a selection and no Shift, the caret goes to the selection's end.
        if (mode == MoveMode::MoveAnchor && hasSelection())
            return selectionEnd();
        return m_cursor == end ? m_cursor + 1 : start + CaretMoves::nextCharacter(text, column);
    case Move::PreviousCharacter:
        if (mode == MoveMode::MoveAnchor && hasSelection())
            return selectionStart();
        return m_cursor == start ? m_cursor - 1 : start + CaretMoves::previousCharacter(text, column);
    case Move::NextWord:
        return m_cursor == end ? m_cursor + 1 : start + CaretMoves::nextWord(text, column);
    case Move::PreviousWord:
        return m_cursor == start ? m_cursor - 1 : start + CaretMoves::previousWord(text, column);
    case Move::LineStart:
        return start;
    case Move::LineEnd:
        return end;
    case Move::DocumentStart:
        return 0;
    case Move::DocumentEnd:
        return length();
    }
    return m_cursor;
}

// ---------------------------------------------------------------------------
// Editing

TextBuffer::Pieces OutputDocument::applyReplace(int from, int to, const TextBuffer::Pieces &with)
{
    Change change;
    change.position = from;
    change.firstLine = m_buffer.lineOfPosition(from);
    change.removedLines = m_buffer.lineOfPosition(to) - change.firstLine + 1;
    change.addedLines = TextBuffer::breaks(with) + 1;
    change.inserted = TextBuffer::length(with);
    change.removed = m_buffer.replace(from, to, with);
    m_preferredX = -1;
    emit textReplaced(change);
    return std::move(change.removed);
}

bool OutputDocument::edit(int from, int to, QStringView text, EditHistory::Kind kind)
{
    from = std::clamp(from, 0, length());
    to = std::clamp(to, from, length());
    if (from == to && text.isEmpty())
        return false;
    const int oldCursor = m_cursor;
    const int oldAnchor = m_anchor;
    const TextBuffer::Pieces inserted = m_buffer.store(text);
    TextBuffer::Pieces removed = applyReplace(from, to, inserted);
    m_cursor = m_anchor = from + TextBuffer::length(inserted);
    m_history.record(from, std::move(removed), inserted, kind);
    emit caretMoved(oldCursor, oldAnchor);
    return true;
}

void OutputDocument::append(QStringView text)
{
    // Nothing moves the caret, so no caretMoved(): the view is not made to
    // show it.
    if (!text.isEmpty())
        applyReplace(length(), length(), m_buffer.store(text));
}

void OutputDocument::type(QStringView text)
{
    // Over a selection the typing starts a step, which more typing may join.
    edit(selectionStart(), selectionEnd(), text, hasSelection() ? EditHistory::Kind::Other : EditHistory::Kind::Typing);
}

void OutputDocument::insert(QStringView text)
{
    edit(selectionStart(), selectionEnd(), text, EditHistory::Kind::Other);
}

void OutputDocument::paste(const QString &text)
{
    // The buffer turns CR LF, LF and CR into its one line break as it stores.
    if (!text.isEmpty())
        insert(text);
}

void OutputDocument::deleteSelection()
{
    if (hasSelection())
        edit(selectionStart(), selectionEnd(), {}, EditHistory::Kind::Other);
}

void OutputDocument::replaceRange(int from, int to, QStringView text)
{
    edit(from, to, text, EditHistory::Kind::Other);
}

void OutputDocument::eraseBackward(EraseUnit unit)
{
    // Backspace takes one code point, so an accent can be taken off its letter;
    // a run of Backspaces (or of Deletes) is undone as one, word erasing is not.
    if (unit == EraseUnit::Word)
        eraseFromCaret(Side::Before, CaretMoves::previousWord, EditHistory::Kind::Other);
    else
        eraseFromCaret(Side::Before, CaretMoves::previousCodePoint, EditHistory::Kind::Erasing);
}

void OutputDocument::eraseForward(EraseUnit unit)
{
    if (unit == EraseUnit::Word)
        eraseFromCaret(Side::After, CaretMoves::nextWord, EditHistory::Kind::Other);
    else
        eraseFromCaret(Side::After, CaretMoves::nextCharacter, EditHistory::Kind::Erasing);
}

void OutputDocument::eraseFromCaret(Side side, int (*move)(const LineText &, int), EditHistory::Kind kind)
{
    // A selection goes whole; otherwise from the caret to where `move` takes it
    // within its line, or across the line break at the line's edge.
    if (hasSelection()) {
        edit(selectionStart(), selectionEnd(), {}, EditHistory::Kind::Other);
        return;
    }
    const bool forward = side == Side::After;
    if (forward ? m_cursor >= length() : m_cursor <= 0)
        return;
    const int line = m_buffer.lineOfPosition(m_cursor);
    const int start = m_buffer.lineStart(line);
    const int edge = forward ? m_buffer.lineEnd(line) : start;
    const int other = m_cursor == edge ? m_cursor + (forward ? 1 : -1)
                                       : start + move(LineText(m_buffer, line), m_cursor - start);
    edit(std::min(m_cursor, other), std::max(m_cursor, other), {}, kind);
}

void OutputDocument::eraseToLineEnd()
{
    const int end = m_buffer.lineEnd(m_buffer.lineOfPosition(m_cursor));
    edit(std::min(m_anchor, end), std::max(m_anchor, end), {}, EditHistory::Kind::Other);
}

void OutputDocument::eraseLine()
{
    const int line = m_buffer.lineOfPosition(m_cursor);
    edit(m_buffer.lineStart(line), m_buffer.lineEnd(line), {}, EditHistory::Kind::Other);
}

void OutputDocument::commitInput(const QString &text, int replacementStart, int replacementLength, Composing composing)
{
    if (text.isEmpty() && replacementLength == 0 && composing == Composing::Ended)
        return;
    // As QPlainTextEdit takes it: the selection goes first, then the range
    // beside the caret is replaced, all one undo step, which takes the caret
    // back to where it stood when the commit came.
    const int oldCursor = m_cursor;
    std::optional<int> caretUndone;
    m_history.beginStep();
    const int start = selectionStart();
    const bool removed = hasSelection() && edit(start, selectionEnd(), {}, EditHistory::Kind::Other);
    if (removed && start != oldCursor)
        caretUndone = oldCursor;
    std::optional<std::pair<int, int>> committed;
    if (!text.isEmpty() || replacementLength != 0) {
        committed = commitReplacing(text, replacementStart, replacementLength);
        if (committed && !removed && committed->first != oldCursor)
            caretUndone = oldCursor;
    }
    m_history.endStep(caretUndone);
    if (committed)
        setCursorPosition(committed->second);
}

std::optional<std::pair<int, int>> OutputDocument::commitReplacing(const QString &text, int replacementStart,
                                                                   int replacementLength)
{
    // A range reaching outside the text is no range: the text goes in at its
    // start, or at the caret when the start is outside too.
    const int caret = m_cursor;
    const auto inText = [this](int position) { return position >= 0 && position <= length(); };
    const int at = inText(caret + replacementStart) ? caret + replacementStart : caret;
    const int end = inText(at + replacementLength) ? at + replacementLength : at;
    const int from = std::min(at, end);
    const int to = std::max(at, end);
    if (!edit(from, to, text, EditHistory::Kind::Other))
        return std::nullopt;
    // The caret keeps to its text; at the range's start it goes past the commit.
    const int inserted = m_cursor - from;
    return std::make_pair(from, caret < from ? caret : (caret < to ? from : caret - (to - from)) + inserted);
}

void OutputDocument::drop(int position, QStringView text, DropKind kind)
{
    const int from = selectionStart();
    const int to = selectionEnd();
    m_history.beginStep();
    edit(position, position, text, EditHistory::Kind::Other);
    const int inserted = m_cursor - position;
    int start = position;
    std::optional<int> caretRedone;
    if (kind == DropKind::MoveSelection) {
        // The text leaves its old place in the same undo step.
        bool removed = false;
        if (position < from) {
            removed = edit(from + inserted, to + inserted, {}, EditHistory::Kind::Other);
        } else {
            removed = edit(from, to, {}, EditHistory::Kind::Other);
            start -= to - from;
        }
        // Redone, the caret ends after the text put in, as it does now.
        if (removed)
            caretRedone = start + inserted;
    }
    m_history.endStep(std::nullopt, caretRedone);
    setCursorPosition(start + inserted);
}

// ---------------------------------------------------------------------------
// Undo and redo

void OutputDocument::replay(Direction direction)
{
    const bool undoing = direction == Direction::Undo;
    if (undoing ? !m_history.canUndo() : !m_history.canRedo())
        return;
    const int oldCursor = m_cursor;
    const int oldAnchor = m_anchor;
    // A replacement holds what its range held before; putting that back
    // gives the text it replaced, kept in its place for the way back.
    EditHistory::Step &step = undoing ? m_history.nextUndo() : m_history.nextRedo();
    const auto apply = [this](EditHistory::Replacement &replacement) {
        TextBuffer::Pieces back
                = applyReplace(replacement.position, replacement.position + replacement.length, replacement.pieces);
        replacement.length = TextBuffer::length(replacement.pieces);
        replacement.pieces = std::move(back);
    };
    if (undoing)
        std::for_each(step.replacements.rbegin(), step.replacements.rend(), apply);
    else
        std::for_each(step.replacements.begin(), step.replacements.end(), apply);
    // Without a selection, as QTextDocument leaves its cursor.
    m_cursor = m_anchor = std::clamp(undoing ? step.caretUndone : step.caretRedone, 0, length());
    if (undoing)
        m_history.undone();
    else
        m_history.redone();
    emit caretMoved(oldCursor, oldAnchor);
}

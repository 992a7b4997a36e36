#include "outputbox/view/editkeys.h"

#include "outputbox/view/boxclipboard.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace EditKeys {

namespace {

using Mode = OutputDocument::MoveMode;
using Move = OutputDocument::Move;

// Whether the key types its text (AltGr does, Ctrl with a letter does not).
// A tab the focus chain left over (Alt+Tab) is typed too, as QPlainTextEdit
// types it; it is no shortcut of the box's.
bool isTypedText(const QKeyEvent *event, bool tab = false)
{
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const QChar first = text.at(0);
    // Zero-width joiners and the like are typed with Ctrl+Shift on some systems.
    if (first.category() == QChar::Other_Format)
        return true;
    // Ctrl with a letter is a command, not text; AltGr (Ctrl+Alt) types text.
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    if (first.isPrint() || first.category() == QChar::Other_PrivateUse || (tab && first == u'\t'))
        return true;
    return first.isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate();
}

bool move(OutputDocument &document, const QKeyEvent *event, Result *result)
{
    // Moves by line and by page go by how the lines are laid out; the rest are
    // the document's.
    struct Binding
    {
        QKeySequence::StandardKey moveKey;
        QKeySequence::StandardKey selectKey;
        Request request; // Handled: the document moves
        Move move;
    };
    static const Binding bindings[] = {
            {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Request::Handled, Move::NextCharacter},
            {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Request::Handled,
             Move::PreviousCharacter},
            {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Request::Handled, Move::NextWord},
            {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Request::Handled, Move::PreviousWord},
            {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Request::LineDown, {}},
            {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Request::LineUp, {}},
            {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Request::Handled, Move::LineStart},
            {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Request::Handled, Move::LineEnd},
            {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, Request::Handled, Move::LineStart},
            {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, Request::Handled, Move::LineEnd},
            {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Request::Handled,
             Move::DocumentStart},
            {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Request::Handled, Move::DocumentEnd},
            {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Request::PageDown, {}},
            {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Request::PageUp, {}},
    };
    for (const Binding &binding : bindings) {
        const bool moves = event->matches(binding.moveKey);
        if (!moves && !event->matches(binding.selectKey))
            continue;
        result->request = binding.request;
        result->mode = moves ? Mode::MoveAnchor : Mode::KeepAnchor;
        if (binding.request == Request::Handled)
            document.move(binding.move, result->mode);
        return true;
    }
    return false;
}

Request edit(OutputDocument &document, const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo)) {
        document.undo();
    } else if (event->matches(QKeySequence::Redo)) {
        document.redo();
    } else if (event->matches(QKeySequence::Cut)) {
        BoxClipboard::cut(document);
    } else if (event->matches(QKeySequence::Copy)) {
        BoxClipboard::copy(document);
    } else if (event->matches(QKeySequence::Paste)) {
        BoxClipboard::paste(document);
    } else if (event->matches(QKeySequence::SelectAll)) {
        return Request::SelectAll;
    } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
        document.eraseBackward(OutputDocument::EraseUnit::Character);
    } else if (event->matches(QKeySequence::Delete)) {
        document.eraseForward(OutputDocument::EraseUnit::Character);
    } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
        document.eraseBackward(OutputDocument::EraseUnit::Word);
    } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
        document.eraseForward(OutputDocument::EraseUnit::Word);
    } else if (event->matches(QKeySequence::DeleteEndOfLine)) {
        document.eraseToLineEnd();
    } else if (event->matches(QKeySequence::DeleteCompleteLine)) {
        document.eraseLine();
    } else if (event->matches(QKeySequence::InsertParagraphSeparator)) {
        document.insert(QStringView(u"\n"));
    } else if (event->matches(QKeySequence::InsertLineSeparator)) {
        // Shift+Enter: a line separator, which QPlainTextEdit keeps as it is,
        // a character typed like any other.
        const QChar separator = TextBuffer::kLineSeparator;
        document.type(QStringView(&separator, 1));
    } else if (isTypedText(event, true)) {
        document.type(event->text());
    } else {
        return Request::None;
    }
    return Request::Handled;
}

} // namespace

Result press(OutputDocument &document, const QKeyEvent *event)
{
    Result result;
    if (!move(document, event, &result))
        result.request = edit(document, event);
    return result;
}

bool isOwnShortcut(const QKeyEvent *event)
{
    static const QKeySequence::StandardKey own[] = {
            QKeySequence::Copy,
            QKeySequence::Paste,
            QKeySequence::Cut,
            QKeySequence::Undo,
            QKeySequence::Redo,
            QKeySequence::SelectAll,
            QKeySequence::Delete,
            QKeySequence::DeleteEndOfWord,
            QKeySequence::DeleteStartOfWord,
            QKeySequence::MoveToStartOfLine,
            QKeySequence::MoveToEndOfLine,
            QKeySequence::MoveToStartOfDocument,
            QKeySequence::MoveToEndOfDocument,
            QKeySequence::MoveToNextWord,
            QKeySequence::MoveToPreviousWord,
            QKeySequence::SelectStartOfLine,
            QKeySequence::SelectEndOfLine,
            QKeySequence::SelectStartOfDocument,
            QKeySequence::SelectEndOfDocument,
            QKeySequence::SelectNextWord,
            QKeySequence::SelectPreviousWord,
    };
    for (QKeySequence::StandardKey standard : own) {
        if (event->matches(standard))
            return true;
    }
    return isTypedText(event) || event->key() == Qt::Key_Backspace;
}

} // namespace EditKeys

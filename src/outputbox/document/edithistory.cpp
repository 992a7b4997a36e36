#include "outputbox/document/edithistory.h"

#include <utility>

namespace {

// A step others may join holds one run of a store: its `piece`, put in or
// taken out. A line break is no character to QTextDocument but a block of
// its own, so a run ending in one (or, taken out, holding one) joins nothing.
enum class Run { PutIn, TakenOut };

bool canBeJoined(const TextBuffer::Piece &piece, Run run)
{
    if (piece.length <= 0)
        return false;
    const QStringView text = QStringView(piece.store->text).mid(piece.start, piece.length);
    if (run == Run::TakenOut)
        return piece.breaks == 0 || !text.contains(TextBuffer::kLineBreak);
    return text.back() != TextBuffer::kLineBreak;
}

void markJoinable(EditHistory::Step &step, const TextBuffer::Piece &piece)
{
    step.store = piece.store;
    step.storeStart = piece.start;
    step.storeEnd = piece.start + piece.length;
}

} // namespace

void EditHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_stepOpen = m_stepStarted = false;
}

void EditHistory::beginStep()
{
    m_stepOpen = true;
    m_stepStarted = false;
}

void EditHistory::endStep(std::optional<int> caretUndone, std::optional<int> caretRedone)
{
    if (m_stepStarted) {
        Step &step = m_undo.back();
        step.caretUndone = caretUndone.value_or(step.caretUndone);
        step.caretRedone = caretRedone.value_or(step.caretRedone);
    }
    m_stepOpen = m_stepStarted = false;
}

void EditHistory::record(int position, TextBuffer::Pieces removed, const TextBuffer::Pieces &inserted, Kind kind)
{
    m_redo.clear();
    const int removedLength = TextBuffer::length(removed);
    const int insertedLength = TextBuffer::length(inserted);
    if (m_stepOpen && m_stepStarted) {
        // A later replacement of the step: undo leaves the caret where the
        // first one does, redo where the last one does, and nothing joins the
        // step.
        Step &step = m_undo.back();
        step.replacements.push_back(Replacement{position, std::move(removed), insertedLength});
        step.caretRedone = position + insertedLength;
        step.storeEnd = -1;
        return;
    }
    Step step;
    step.kind = kind;
    step.caretUndone = position + removedLength;
    step.caretRedone = position + insertedLength;
    step.replacements.push_back(Replacement{position, std::move(removed), insertedLength});
    // Typing joins the end of what a step put in; erasing joins what a
    // Delete or Backspace took out.
    const TextBuffer::Pieces &taken = step.replacements.front().pieces;
    if (kind == Kind::Erasing ? taken.size() == 1 && canBeJoined(taken.front(), Run::TakenOut)
                              : !inserted.empty() && canBeJoined(inserted.back(), Run::PutIn))
        markJoinable(step, kind == Kind::Erasing ? taken.front() : inserted.back());
    const bool opening = m_stepOpen;
    m_stepStarted = m_stepOpen;
    if (opening || !joinedLast(step, removedLength, inserted))
        m_undo.push_back(std::move(step));
}

bool EditHistory::joinedLast(Step &step, int removed, const TextBuffer::Pieces &inserted)
{
    if (step.storeEnd < 0 || m_undo.empty() || step.kind == Kind::Other)
        return false;
    Step &last = m_undo.back();
    if (last.storeEnd < 0 || last.store != step.store || last.replacements.size() != 1)
        return false;
    Replacement &lastReplacement = last.replacements.front();
    Replacement &replacement = step.replacements.front();
    if (step.kind == Kind::Typing && inserted.size() == 1 && last.kind != Kind::Erasing
        && replacement.position == lastReplacement.position + lastReplacement.length
        && last.storeEnd == step.storeStart) {
        lastReplacement.length += replacement.length;
        last.storeEnd = step.storeEnd;
        last.caretRedone = step.caretRedone;
        return true;
    }
    if (step.kind != Kind::Erasing || last.kind != Kind::Erasing)
        return false;
    if (replacement.position + removed == lastReplacement.position && step.storeEnd == last.storeStart) { // Backspace
        replacement.pieces.insert(replacement.pieces.end(), lastReplacement.pieces.begin(),
                                  lastReplacement.pieces.end());
        lastReplacement.pieces = std::move(replacement.pieces);
        lastReplacement.position = replacement.position;
        last.storeStart = step.storeStart;
        last.caretRedone = step.caretRedone;
        return true;
    }
    if (replacement.position == lastReplacement.position && last.storeEnd == step.storeStart) { // Delete
        lastReplacement.pieces.insert(lastReplacement.pieces.end(), replacement.pieces.begin(),
                                      replacement.pieces.end());
        last.storeEnd = step.storeEnd;
        last.caretUndone += removed;
        last.caretRedone = step.caretRedone;
        return true;
    }
    return false;
}

void EditHistory::undone()
{
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
}

void EditHistory::redone()
{
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
}

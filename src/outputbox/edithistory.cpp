#include "outputbox/edithistory.h"

#include <utility>

namespace {

// A step others may join holds one run of a store: its `piece`, put in or
// taken out. A line break is no character to QTextDocument but a block of
// its own, so a run ending in one (or, taken out, holding one) joins nothing.
bool joinable(const TextBuffer::Piece &piece, bool whole, EditHistory::Step *step)
{
    if (piece.length <= 0)
        return false;
    const QStringView run = QStringView(piece.store->text).mid(piece.start, piece.length);
    if (whole ? piece.breaks != 0 && run.contains(TextBuffer::kLineBreak) : run.back() == TextBuffer::kLineBreak)
        return false;
    step->store = piece.store;
    step->storeStart = piece.start;
    step->storeEnd = piece.start + piece.length;
    return true;
}

} // namespace

void EditHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
}

void EditHistory::record(Step step, const TextBuffer::Pieces &inserted)
{
    m_redo.clear();
    const int removed = TextBuffer::length(step.pieces);
    step.caretUndone = step.position + removed;
    step.caretRedone = step.position + step.length;
    // Typing joins the end of what a step put in; erasing joins what a
    // Delete or Backspace took out.
    const bool erasing = step.kind == Kind::Erasing;
    const bool canJoin = erasing ? step.pieces.size() == 1 && joinable(step.pieces.front(), true, &step)
                                 : !inserted.empty() && !step.chained && joinable(inserted.back(), false, &step);
    if (!canJoin)
        step.storeEnd = -1;
    if (canJoin && !m_undo.empty() && step.kind != Kind::Other) {
        Step &last = m_undo.back();
        const bool sameStore = last.storeEnd >= 0 && last.store == step.store;
        if (step.kind == Kind::Typing && inserted.size() == 1 && sameStore && last.kind != Kind::Erasing
            && step.position == last.position + last.length && last.storeEnd == step.storeStart) {
            last.length += step.length;
            last.storeEnd = step.storeEnd;
            last.caretRedone = step.caretRedone;
            return;
        }
        if (step.kind == Kind::Erasing && last.kind == Kind::Erasing && sameStore) {
            if (step.position + removed == last.position && step.storeEnd == last.storeStart) { // Backspace
                step.pieces.insert(step.pieces.end(), last.pieces.begin(), last.pieces.end());
                last.pieces = std::move(step.pieces);
                last.position = step.position;
                last.storeStart = step.storeStart;
                last.caretRedone = step.caretRedone;
                return;
            }
            if (step.position == last.position && last.storeEnd == step.storeStart) { // Delete
                last.pieces.insert(last.pieces.end(), step.pieces.begin(), step.pieces.end());
                last.storeEnd = step.storeEnd;
                last.caretUndone += removed;
                last.caretRedone = step.caretRedone;
                return;
            }
        }
    }
    m_undo.push_back(std::move(step));
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

#include "outputbox/edithistory.h"

#include <utility>

void EditHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_sealed = true;
}

void EditHistory::record(Step step, Kind kind)
{
    m_redo.clear();
    if (!m_sealed && kind == m_lastKind && !m_undo.empty() && !step.chained) {
        Step &last = m_undo.back();
        const int removed = TextBuffer::length(step.pieces);
        if (kind == Kind::Typing && removed == 0 && step.position == last.position + last.length) {
            last.length += step.length;
            last.cursorAfter = step.cursorAfter;
            last.anchorAfter = step.anchorAfter;
            return;
        }
        if (kind == Kind::Erasing && step.length == 0 && last.length == 0) {
            if (step.position + removed == last.position) { // Backspace
                step.pieces.insert(step.pieces.end(), last.pieces.begin(), last.pieces.end());
                last.pieces = std::move(step.pieces);
                last.position = step.position;
                last.cursorAfter = step.cursorAfter;
                last.anchorAfter = step.anchorAfter;
                return;
            }
            if (step.position == last.position) { // Delete
                last.pieces.insert(last.pieces.end(), step.pieces.begin(), step.pieces.end());
                last.cursorAfter = step.cursorAfter;
                last.anchorAfter = step.anchorAfter;
                return;
            }
        }
    }
    m_undo.push_back(std::move(step));
    m_lastKind = kind;
    m_sealed = kind == Kind::Other;
}

void EditHistory::undone()
{
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    m_sealed = true;
}

void EditHistory::redone()
{
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    m_sealed = true;
}

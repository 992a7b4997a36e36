#pragma once

#include "outputbox/textbuffer.h"

#include <memory>
#include <vector>

// Undo and redo for the output box. A step keeps the pieces an edit took out of
// the buffer rather than a copy of their text, so undoing the deletion of a
// whole 50 MB answer costs no more memory than the answer already takes.
//
// A step is its own inverse: putting `pieces` into [position, position +
// length) gives back the pieces that were there, which make the step that
// reverses it. Undo and redo apply the step they take and keep what it gives.
//
// Steps join as QTextDocument's undo commands do, since operators know that
// box: text typed right where the last insertion ended, and stored right after
// it, joins it (even after a caret move that came back, or after a paste);
// a Delete or Backspace of characters joins the one before it when the two
// took out neighbouring text; nothing joins an input method's commit.
class EditHistory
{
public:
    enum class Kind {
        Typing,  // typed without a selection: may join the insertion before it
        Erasing, // a Delete or Backspace of characters without a selection
        Other,   // one step of its own, though typing may join its end
    };

    struct Step
    {
        int position = 0;
        TextBuffer::Pieces pieces; // what to put in
        int length = 0;            // how much to take out first
        // Where undo and redo leave the caret (without a selection), as
        // QTextDocument puts it: after undo at the end of the text put back
        // (or where an input method's caret stood), after redo at the end of
        // the text put in.
        int caretUndone = 0;
        int caretRedone = 0;
        // Undone and redone together with the step before it: text moved by
        // dragging is put in and taken out in two steps, undone as one.
        bool chained = false;
        // What later typing or erasing may join: the run of the store the step
        // put in (typing joins its end) or took out (erasing joins either end).
        Kind kind = Kind::Other;
        std::shared_ptr<const TextBuffer::Store> store;
        int storeStart = 0;
        int storeEnd = -1; // -1: nothing can join
    };

    void clear();
    // Records an edit that was just made; `inserted` are the pieces it put in.
    void record(Step step, const TextBuffer::Pieces &inserted);

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }

    // The step to apply; after applying it and storing what it gave back in it,
    // call undone() or redone() to move it to the other side.
    Step &nextUndo() { return m_undo.back(); }
    void undone();
    Step &nextRedo() { return m_redo.back(); }
    void redone();
    // The step recorded last, to set where undoing it leaves the caret.
    Step &last() { return m_undo.back(); }
    // Whether the step just undone needs the one before it undone too, and
    // whether the next redo belongs to the step just redone.
    bool undoGoesOn() const { return !m_redo.empty() && m_redo.back().chained && !m_undo.empty(); }
    bool redoGoesOn() const { return !m_redo.empty() && m_redo.back().chained; }

private:
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
};

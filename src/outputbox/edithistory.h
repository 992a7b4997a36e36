#pragma once

#include "outputbox/textbuffer.h"

#include <vector>

// Undo and redo for the output box. A step keeps the pieces an edit took out of
// the buffer rather than a copy of their text, so undoing the deletion of a
// whole 50 MB answer costs no more memory than the answer already takes.
//
// A step is its own inverse: putting `pieces` into [position, position +
// length) gives back the pieces that were there, which make the step that
// reverses it. Undo and redo apply the step they take and keep what it gives.
class EditHistory
{
public:
    enum class Kind {
        Typing,  // characters typed one after another merge into one step
        Erasing, // as do Backspaces, and Deletes, in a row
        Other,
    };

    struct Step
    {
        int position = 0;
        TextBuffer::Pieces pieces; // what to put in
        int length = 0;            // how much to take out first
        int cursorBefore = 0;      // caret and anchor to restore on undo
        int anchorBefore = 0;
        int cursorAfter = 0; // and on redo
        int anchorAfter = 0;
        // Undone and redone together with the step before it: text moved by
        // dragging is put in and taken out in two steps, undone as one.
        bool chained = false;
    };

    void clear();
    // Records an edit that was just made; it joins the last step when both are
    // typing (or both erasing) at the same place and nothing happened in between.
    void record(Step step, Kind kind);
    // The next edit starts a step of its own (the caret was moved, say).
    void seal() { m_sealed = true; }

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }

    // The step to apply; after applying it and storing what it gave back in it,
    // call undone() or redone() to move it to the other side.
    Step &nextUndo() { return m_undo.back(); }
    void undone();
    Step &nextRedo() { return m_redo.back(); }
    void redone();
    // Whether the step just undone needs the one before it undone too, and
    // whether the next redo belongs to the step just redone.
    bool undoGoesOn() const { return !m_redo.empty() && m_redo.back().chained && !m_undo.empty(); }
    bool redoGoesOn() const { return !m_redo.empty() && m_redo.back().chained; }

private:
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    Kind m_lastKind = Kind::Other;
    bool m_sealed = true;
};

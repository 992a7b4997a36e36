#pragma once

#include "outputbox/document/textbuffer.h"

#include <memory>
#include <optional>
#include <vector>

// Undo and redo for the output box. A step keeps the pieces an edit took out of
// the buffer rather than a copy of their text, so undoing the deletion of a
// whole 50 MB answer costs no more memory than the answer already takes.
//
// A step is made of replacements, each its own inverse: putting a
// replacement's `pieces` into [position, position + length) gives back the
// pieces that were there, which make the replacement that reverses it. Undo
// applies a step's replacements last first, redo first first, and each keeps
// what it gives back.
//
// Steps join as QTextDocument's undo commands do, since operators know that
// box: text typed right where the last insertion ended, and stored right after
// it, joins it (even after a caret move that came back, or after a paste);
// a Delete or Backspace of characters joins the one before it when the two
// took out neighbouring text; nothing joins an input method's commit, nor a
// step of several replacements (a drag's move, a commit over a selection).
class EditHistory
{
public:
    enum class Kind {
        Typing,  // typed without a selection: may join the insertion before it
        Erasing, // a Delete or Backspace of characters without a selection
        Other,   // one step of its own, though typing may join its end
    };

    struct Replacement
    {
        int position = 0;
        TextBuffer::Pieces pieces; // what to put in
        int length = 0;            // how much to take out first
    };

    struct Step
    {
        std::vector<Replacement> replacements;
        // Where undo and redo leave the caret (without a selection), as
        // QTextDocument puts it: after undo at the end of the text put back
        // (or where an input method's caret stood), after redo at the end of
        // the text put in.
        int caretUndone = 0;
        int caretRedone = 0;
        // What later typing or erasing may join: the run of the store the step
        // put in (typing joins its end) or took out (erasing joins either end).
        Kind kind = Kind::Other;
        std::shared_ptr<const TextBuffer::Store> store;
        int storeStart = 0;
        int storeEnd = -1; // -1: nothing can join
    };

    void clear();
    // The edits recorded from here to endStep() are one step, undone and
    // redone as one.
    void beginStep();
    // Ends it, with where undo and redo leave the caret where that is not
    // where its replacements put it.
    void endStep(std::optional<int> caretUndone = std::nullopt, std::optional<int> caretRedone = std::nullopt);
    // Records an edit just made at `position`: it took out `removed` and put in
    // `inserted`.
    void record(int position, TextBuffer::Pieces removed, const TextBuffer::Pieces &inserted, Kind kind);

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }

    // The step to apply; after applying it and storing what it gave back in it,
    // call undone() or redone() to move it to the other side.
    Step &nextUndo() { return m_undo.back(); }
    void undone();
    Step &nextRedo() { return m_redo.back(); }
    void redone();

private:
    // Whether the step just made can join the one before it; it did if so.
    bool joinedLast(Step &step, int removed, const TextBuffer::Pieces &inserted);

    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    // Between beginStep() and endStep(): whether the step has its first replacement.
    bool m_stepOpen = false;
    bool m_stepStarted = false;
};

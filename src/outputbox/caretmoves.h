#pragma once

#include <QStringView>

#include <utility>

// Where the caret goes inside one line, the way QPlainTextEdit moves it: by
// grapheme (a letter with its accents, a surrogate pair), and by words that end
// at blanks and at ASCII punctuation, so Ctrl+Right stops inside a URL at every
// '/', '.', '?' and '='. Each function looks only at the characters it needs,
// so a line of a million characters costs no more than a short one.
namespace CaretMoves {

int nextCharacter(QStringView line, int column);
int previousCharacter(QStringView line, int column);
// Backspace takes one code point, so an accent can be taken off its letter.
int previousCodePoint(QStringView line, int column);

// The start of the next word, after the blanks that follow this one; the line's
// length when there is none.
int nextWord(QStringView line, int column);
// The start of this word or, at its start, of the one before; 0 when none.
int previousWord(QStringView line, int column);
// The word a double click at column selects, as [first, second).
std::pair<int, int> wordAt(QStringView line, int column);

} // namespace CaretMoves

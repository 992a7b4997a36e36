#pragma once

#include <utility>

class LineText;

// Where the caret goes inside one line, the way QPlainTextEdit moves it: by
// grapheme (a letter with its accents, a surrogate pair), and by words that end
// at blanks and at ASCII punctuation, so Ctrl+Right stops inside a URL at every
// '/', '.', '?' and '='. Each function reads only the characters it needs,
// straight from the buffer's pieces, so a line of a million characters costs no
// more than a short one, edited or not.
namespace CaretMoves {

int nextCharacter(const LineText &line, int column);
int previousCharacter(const LineText &line, int column);
// Backspace takes one code point, so an accent can be taken off its letter.
int previousCodePoint(const LineText &line, int column);

// The start of the next word, after the blanks that follow this one; the line's
// length when there is none.
int nextWord(const LineText &line, int column);
// The start of this word or, at its start, of the one before; 0 when none.
int previousWord(const LineText &line, int column);
// The word a double click at column selects, as [first, second).
std::pair<int, int> wordAt(const LineText &line, int column);

} // namespace CaretMoves

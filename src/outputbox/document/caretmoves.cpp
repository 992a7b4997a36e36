#include "outputbox/document/caretmoves.h"

#include "outputbox/document/linetext.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// Graphemes are decided on a window this wide around the caret.
constexpr int kWindow = 64;

bool isBlank(QChar c)
{
    return c.isSpace();
}

// The ASCII punctuation a word ends at (an underscore is part of the word).
bool isSeparator(QChar c)
{
    static constexpr QStringView separators = u".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\";
    return c.unicode() < 0x80 && separators.contains(c);
}

bool isWordCharacter(QChar c)
{
    return !isBlank(c) && !isSeparator(c);
}

int endOfWord(const LineText &line, int column)
{
    if (column >= line.size())
        return column;
    return isSeparator(line.at(column)) ? line.skipForward(column, isSeparator)
                                        : line.skipForward(column, isWordCharacter);
}

} // namespace

namespace CaretMoves {

namespace {
enum class Direction { Forward, Backward };

// The grapheme boundary after (or before) column, looked for in a window around
// it, so a 700,000-character line is not scanned from its start.
int graphemeBoundary(const LineText &line, int column, Direction direction)
{
    const int from = std::max(0, column - kWindow);
    const int to = std::min(line.size(), column + kWindow);
    QString scratch;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line.mid(from, to, &scratch));
    finder.setPosition(column - from);
    const qsizetype found = direction == Direction::Forward ? finder.toNextBoundary() : finder.toPreviousBoundary();
    if (found < 0)
        return direction == Direction::Forward ? to : from;
    return from + int(found);
}
} // namespace

int nextCharacter(const LineText &line, int column)
{
    if (column >= line.size())
        return line.size();
    return graphemeBoundary(line, column, Direction::Forward);
}

int previousCharacter(const LineText &line, int column)
{
    if (column <= 0)
        return 0;
    return graphemeBoundary(line, std::min(column, line.size()), Direction::Backward);
}

int previousCodePoint(const LineText &line, int column)
{
    if (column <= 0)
        return 0;
    column = std::min(column, line.size());
    if (column >= 2 && line.at(column - 1).isLowSurrogate() && line.at(column - 2).isHighSurrogate())
        return column - 2;
    return column - 1;
}

int nextWord(const LineText &line, int column)
{
    return line.skipForward(endOfWord(line, std::min(column, line.size())), isBlank);
}

int previousWord(const LineText &line, int column)
{
    column = line.skipBackward(std::clamp(column, 0, line.size()), isBlank);
    if (column > 0 && isSeparator(line.at(column - 1)))
        return line.skipBackward(column, isSeparator);
    return line.skipBackward(column, isWordCharacter);
}

std::pair<int, int> wordAt(const LineText &line, int column)
{
    const int size = line.size();
    column = std::clamp(column, 0, size);
    // At the end of a line that ends in a blank or punctuation there is no word.
    if (column == size && size > 0 && !isWordCharacter(line.at(size - 1)))
        return {column, column};
    const int start = column == 0 ? 0 : previousWord(line, std::min(column + 1, size));
    return {start, endOfWord(line, start)};
}

} // namespace CaretMoves

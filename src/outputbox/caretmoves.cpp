#include "outputbox/caretmoves.h"

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

int endOfWord(QStringView line, int column)
{
    const int size = int(line.size());
    if (column >= size)
        return column;
    if (isSeparator(line[column])) {
        while (column < size && isSeparator(line[column]))
            ++column;
    } else {
        while (column < size && isWordCharacter(line[column]))
            ++column;
    }
    return column;
}

} // namespace

namespace CaretMoves {

namespace {
// The grapheme boundary after (or before) column, looked for in a window around
// it, so a 700,000-character line is not scanned from its start.
int graphemeBoundary(QStringView line, int column, bool forward)
{
    const int size = int(line.size());
    const int from = std::max(0, column - kWindow);
    const int to = std::min(size, column + kWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line.mid(from, to - from));
    finder.setPosition(column - from);
    const qsizetype found = forward ? finder.toNextBoundary() : finder.toPreviousBoundary();
    if (found < 0)
        return forward ? to : from;
    return from + int(found);
}
} // namespace

int nextCharacter(QStringView line, int column)
{
    if (column >= int(line.size()))
        return int(line.size());
    return graphemeBoundary(line, column, true);
}

int previousCharacter(QStringView line, int column)
{
    if (column <= 0)
        return 0;
    return graphemeBoundary(line, std::min(column, int(line.size())), false);
}

int previousCodePoint(QStringView line, int column)
{
    if (column <= 0)
        return 0;
    column = std::min(column, int(line.size()));
    if (column >= 2 && line[column - 1].isLowSurrogate() && line[column - 2].isHighSurrogate())
        return column - 2;
    return column - 1;
}

int nextWord(QStringView line, int column)
{
    const int size = int(line.size());
    column = std::min(column, size);
    column = endOfWord(line, column);
    while (column < size && isBlank(line[column]))
        ++column;
    return column;
}

int previousWord(QStringView line, int column)
{
    column = std::clamp(column, 0, int(line.size()));
    while (column > 0 && isBlank(line[column - 1]))
        --column;
    if (column > 0 && isSeparator(line[column - 1])) {
        while (column > 0 && isSeparator(line[column - 1]))
            --column;
    } else {
        while (column > 0 && isWordCharacter(line[column - 1]))
            --column;
    }
    return column;
}

std::pair<int, int> wordAt(QStringView line, int column)
{
    const int size = int(line.size());
    column = std::clamp(column, 0, size);
    // At the end of a line that ends in a blank or punctuation there is no word.
    if (column == size && size > 0 && !isWordCharacter(line[size - 1]))
        return {column, column};
    const int start = column == 0 ? 0 : previousWord(line, std::min(column + 1, size));
    return {start, endOfWord(line, start)};
}

} // namespace CaretMoves

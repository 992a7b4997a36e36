#include "window/caretmoves.h"

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

int nextCharacter(QStringView line, int column)
{
    const int size = int(line.size());
    if (column >= size)
        return size;
    const int from = std::max(0, column - kWindow);
    const int to = std::min(size, column + kWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line.mid(from, to - from));
    finder.setPosition(column - from);
    const qsizetype next = finder.toNextBoundary();
    return next < 0 ? to : from + int(next);
}

int previousCharacter(QStringView line, int column)
{
    if (column <= 0)
        return 0;
    const int size = int(line.size());
    column = std::min(column, size);
    const int from = std::max(0, column - kWindow);
    const int to = std::min(size, column + kWindow);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line.mid(from, to - from));
    finder.setPosition(column - from);
    const qsizetype previous = finder.toPreviousBoundary();
    return previous < 0 ? from : from + int(previous);
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

#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

// The output box's text. An answer can be tens of megabytes with a million
// lines, so the text is kept as it came in (one string, moved in, plus a table
// of where its lines break) and the operator's edits are laid over it as pieces:
// an edit copies only what is typed or pasted, never the text around it.
//
// Positions count like QPlainTextEdit's cursor positions: one per character and
// one per line break. Inside the buffer every line break is one character:
// '\n' for the breaks a text brings with it (CR LF, LF, a lone CR, U+2029 and
// the two frame marks U+FDD0/U+FDD1, all of which QPlainTextEdit turns into a
// new block) and U+2028 (LINE SEPARATOR), which QPlainTextEdit keeps as a
// character but shows as a line break, and which is given back unchanged.
class TextBuffer
{
public:
    // One string that text was put into, and where its line breaks are. A store
    // never changes where it already has text, so pieces can share it.
    struct Store
    {
        QString text;
        std::vector<int> breaks; // ascending positions of the line-break characters
    };

    // A run of characters of one store.
    struct Piece
    {
        std::shared_ptr<const Store> store;
        int start = 0;
        int length = 0;
        int breaks = 0; // line breaks inside the run
    };
    using Pieces = std::vector<Piece>;

    static constexpr QChar kLineBreak = u'\n';
    static constexpr QChar kLineSeparator = QChar(0x2028);

    // Texts longer than this are cut there: positions are ints, as in Qt's own
    // text classes.
    static constexpr int kMaxLength = 0x7ffffff0;

    TextBuffer();

    // Replaces the whole text. The string's own storage becomes the buffer: its
    // line breaks are rewritten in place to one character each (a shared string
    // is copied once first, as QString does on any write).
    void setText(QString &&text);

    int length() const { return m_length; }
    int lineCount() const { return m_breakCount + 1; }

    int lineOfPosition(int position) const;
    int lineStart(int line) const;
    // Where the line's own characters end: its line break, or the end of the text.
    int lineEnd(int line) const;
    int lineLength(int line) const { return lineEnd(line) - lineStart(line); }

    // The characters from `from` up to `to` or to the end of the piece that
    // holds `from`, whichever comes first: a line edited many times can be read
    // through this way without putting it together (LineText does). Good only
    // until the next edit.
    QStringView chunk(int from, int to) const;
    // The same backwards: up to `to`, from `from` or from the start of the
    // piece that holds the character before `to`.
    QStringView chunkBefore(int from, int to) const;

    // The characters in [from, to), line breaks as they are kept inside.
    QString text(int from, int to) const;
    // The whole text the way the program stores texts: CR LF between lines,
    // a line separator as itself.
    QString crlfText() const;

    // Puts text into the buffer's own store and gives back the pieces that hold
    // it; each CR LF, LF or lone CR (and U+2029, U+FDD0, U+FDD1) becomes one '\n'.
    Pieces store(QStringView text);

    // Replaces [from, to) by the given pieces and gives back the pieces taken out,
    // which can later be put back the same way (undo, redo).
    Pieces replace(int from, int to, const Pieces &with);

    // A text of the buffer as the clipboard and a screen reader get it: a line
    // separator shows as a line break, so it goes out as one.
    static QString withLineBreaks(QString text);

    static int length(const Pieces &pieces);
    static int breaks(const Pieces &pieces);
    // The characters the pieces hold, line breaks as they are kept inside.
    static QString text(const Pieces &pieces);

private:
    int pieceAt(int position) const;
    // Splits the piece that holds position inside it so a piece starts there;
    // gives back the index of that piece (the piece count at the end).
    int splitAt(int position);
    void recount();
    static int breaksIn(const Store &store, int start, int length);

    Pieces m_pieces;
    std::vector<int> m_pieceStart;       // position of each piece
    std::vector<int> m_breaksBefore;     // line breaks before each piece
    std::shared_ptr<Store> m_appendable; // where typed and pasted text goes
    int m_length = 0;
    int m_breakCount = 0;
};

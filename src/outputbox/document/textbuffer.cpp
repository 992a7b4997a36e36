#include "outputbox/document/textbuffer.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool isPlain(char16_t c)
{
    // Everything from after CR up to the line separator is an ordinary character;
    // most text never leaves this range, so it is tested first.
    return c > u'\r' && c < 0x2028;
}

bool becomesLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
}

// The first character at or after i that is not plain, or size. Answers are
// hundreds of megabytes of mostly plain text, so eight characters are tested at
// once where the processor can.
qsizetype skipPlain(const char16_t *text, qsizetype i, qsizetype size)
{
#ifdef __SSE2__
    // Plain is 0x000E..0x2027: c - 0x0E below 0x201A, compared unsigned (SSE2
    // compares signed, hence the flip of the top bit on both sides).
    const __m128i shift = _mm_set1_epi16(0x0E);
    const __m128i flip = _mm_set1_epi16(short(0x8000));
    const __m128i limit = _mm_set1_epi16(short((0x2028 - 0x0E) ^ 0x8000));
    while (i + 8 <= size) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        const __m128i moved = _mm_xor_si128(_mm_sub_epi16(c, shift), flip);
        if (_mm_movemask_epi8(_mm_cmplt_epi16(moved, limit)) != 0xFFFF)
            break;
        i += 8;
    }
#endif
    while (i < size && isPlain(text[i]))
        ++i;
    return i;
}

// Rewrites every line break of text[from, end) in place to one character and
// notes where each one ends up. Gives back the new end.
qsizetype rewriteBreaks(char16_t *data, qsizetype from, qsizetype end, std::vector<int> &breaks)
{
    qsizetype out = from;
    for (qsizetype i = from; i < end; ++i) {
        const char16_t c = data[i];
        if (isPlain(c)) {
            data[out++] = c;
        } else if (becomesLineBreak(c)) {
            if (c == u'\r' && i + 1 < end && data[i + 1] == u'\n')
                ++i;
            breaks.push_back(int(out));
            data[out++] = u'\n';
        } else {
            if (c == 0x2028)
                breaks.push_back(int(out));
            data[out++] = c;
        }
    }
    return out;
}

// How many line breaks text holds, by the rules rewriteBreaks() follows.
qsizetype countBreaks(const char16_t *text, qsizetype size)
{
    qsizetype count = 0;
    for (qsizetype i = 0; (i = skipPlain(text, i, size)) < size; ++i) {
        const char16_t c = text[i];
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        if (becomesLineBreak(c) || c == 0x2028)
            ++count;
    }
    return count;
}

} // namespace

TextBuffer::TextBuffer()
    : m_appendable(std::make_shared<Store>())
{
    recount();
}

void TextBuffer::setText(QString &&text)
{
    if (text.size() > kMaxLength) {
        qWarning("TextBuffer: a text of %lld characters is cut to %d", qlonglong(text.size()), kMaxLength);
        text.truncate(kMaxLength);
    }
    auto store = std::make_shared<Store>();
    store->text = std::move(text);
    std::vector<int> &breaks = store->breaks;

    // Reading first: a text whose breaks are all LF (or U+2028) is not written to
    // at all, so a string shared with the caller is not copied either.
    const auto *read = reinterpret_cast<const char16_t *>(store->text.constData());
    const qsizetype size = store->text.size();
    // Counted first, so the table of a million lines is allocated once, at its
    // size: a doubling table would hold up to twice that, and three times while
    // it grows.
    breaks.reserve(size_t(countBreaks(read, size)));
    qsizetype i = 0;
    for (; (i = skipPlain(read, i, size)) < size; ++i) {
        const char16_t c = read[i];
        if (c == u'\n' || c == 0x2028)
            breaks.push_back(int(i));
        else if (becomesLineBreak(c))
            break;
    }
    if (i < size) {
        auto *data = reinterpret_cast<char16_t *>(store->text.data());
        store->text.truncate(rewriteBreaks(data, i, size, breaks));
    }

    m_pieces.clear();
    if (!store->text.isEmpty())
        m_pieces.push_back(Piece{store, 0, int(store->text.size()), int(breaks.size())});
    m_appendable = std::make_shared<Store>();
    recount();
}

int TextBuffer::lineOfPosition(int position) const
{
    position = std::clamp(position, 0, m_length);
    const int p = pieceAt(position);
    if (p >= int(m_pieces.size()))
        return m_breakCount;
    const Piece &piece = m_pieces[p];
    return m_breaksBefore[p] + breaksIn(*piece.store, piece.start, position - m_pieceStart[p]);
}

int TextBuffer::lineStart(int line) const
{
    if (line <= 0)
        return 0;
    if (line > m_breakCount)
        return m_length;
    // The line starts right after break number `line` (counted from one): find
    // the last piece with fewer breaks before it.
    const auto it = std::upper_bound(m_breaksBefore.begin(), m_breaksBefore.end(), line - 1);
    const int p = int(it - m_breaksBefore.begin()) - 1;
    const Piece &piece = m_pieces[p];
    const std::vector<int> &breaks = piece.store->breaks;
    const auto first = std::lower_bound(breaks.begin(), breaks.end(), piece.start);
    const int breakAt = *(first + (line - 1 - m_breaksBefore[p]));
    return m_pieceStart[p] + (breakAt - piece.start) + 1;
}

int TextBuffer::lineEnd(int line) const
{
    if (line >= m_breakCount)
        return m_length;
    return lineStart(line + 1) - 1;
}

QStringView TextBuffer::chunk(int from, int to) const
{
    from = std::clamp(from, 0, m_length);
    to = std::clamp(to, from, m_length);
    if (from == to)
        return QStringView();
    const int p = pieceAt(from);
    const Piece &piece = m_pieces[p];
    const int offset = from - m_pieceStart[p];
    return QStringView(piece.store->text).mid(piece.start + offset, std::min(to - from, piece.length - offset));
}

QStringView TextBuffer::chunkBefore(int from, int to) const
{
    from = std::clamp(from, 0, m_length);
    to = std::clamp(to, from, m_length);
    if (from == to)
        return QStringView();
    const int p = pieceAt(to - 1);
    const Piece &piece = m_pieces[p];
    const int begin = std::max(from, m_pieceStart[p]);
    return QStringView(piece.store->text).mid(piece.start + begin - m_pieceStart[p], to - begin);
}

QString TextBuffer::text(int from, int to) const
{
    from = std::clamp(from, 0, m_length);
    to = std::clamp(to, from, m_length);
    QString result;
    result.reserve(to - from);
    for (int p = pieceAt(from); p < int(m_pieces.size()) && m_pieceStart[p] < to; ++p) {
        const Piece &piece = m_pieces[p];
        const int begin = std::max(from, m_pieceStart[p]);
        const int end = std::min(to, m_pieceStart[p] + piece.length);
        result.append(QStringView(piece.store->text).mid(piece.start + begin - m_pieceStart[p], end - begin));
    }
    return result;
}

QString TextBuffer::crlfText() const
{
    // One allocation, long enough for every break to become two characters;
    // line separators stay one, so the end is cut back after.
    QString result(qsizetype(m_length) + m_breakCount, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    for (const Piece &piece : m_pieces) {
        const char16_t *in = reinterpret_cast<const char16_t *>(piece.store->text.constData());
        const std::vector<int> &breaks = piece.store->breaks;
        int at = piece.start;
        const int end = piece.start + piece.length;
        for (auto it = std::lower_bound(breaks.begin(), breaks.end(), piece.start); it != breaks.end() && *it < end;
             ++it) {
            std::memcpy(out, in + at, sizeof(char16_t) * size_t(*it - at));
            out += *it - at;
            if (in[*it] == kLineBreak.unicode()) {
                *out++ = u'\r';
                *out++ = u'\n';
            } else {
                *out++ = in[*it];
            }
            at = *it + 1;
        }
        std::memcpy(out, in + at, sizeof(char16_t) * size_t(end - at));
        out += end - at;
    }
    result.truncate(out - reinterpret_cast<const char16_t *>(result.constData()));
    return result;
}

TextBuffer::Pieces TextBuffer::store(QStringView text)
{
    if (text.isEmpty())
        return {};
    Store &store = *m_appendable;
    const int start = int(store.text.size());
    const size_t breaksBefore = store.breaks.size();
    store.text.append(text);
    auto *data = reinterpret_cast<char16_t *>(store.text.data());
    store.text.truncate(rewriteBreaks(data, start, store.text.size(), store.breaks));
    const int length = int(store.text.size()) - start;
    return {Piece{m_appendable, start, length, int(store.breaks.size() - breaksBefore)}};
}

TextBuffer::Pieces TextBuffer::replace(int from, int to, const Pieces &with)
{
    from = std::clamp(from, 0, m_length);
    to = std::clamp(to, from, m_length);
    const int first = splitAt(from);
    const int last = splitAt(to);
    Pieces removed(m_pieces.begin() + first, m_pieces.begin() + last);
    m_pieces.erase(m_pieces.begin() + first, m_pieces.begin() + last);

    Pieces added;
    for (const Piece &piece : with) {
        if (piece.length > 0)
            added.push_back(piece);
    }
    m_pieces.insert(m_pieces.begin() + first, added.begin(), added.end());

    // Joins a piece with the one before it when they are one run of the same
    // store, as when characters are typed one after another.
    const auto joinWithPrevious = [this](int index) {
        if (index <= 0 || index >= int(m_pieces.size()))
            return;
        Piece &before = m_pieces[index - 1];
        const Piece &after = m_pieces[index];
        if (before.store == after.store && before.start + before.length == after.start) {
            before.length += after.length;
            before.breaks += after.breaks;
            m_pieces.erase(m_pieces.begin() + index);
        }
    };
    joinWithPrevious(first + int(added.size()));
    joinWithPrevious(first);
    recount();
    return removed;
}

QString TextBuffer::withLineBreaks(QString text)
{
    text.replace(kLineSeparator, kLineBreak);
    return text;
}

int TextBuffer::length(const Pieces &pieces)
{
    int total = 0;
    for (const Piece &piece : pieces)
        total += piece.length;
    return total;
}

int TextBuffer::breaks(const Pieces &pieces)
{
    int total = 0;
    for (const Piece &piece : pieces)
        total += piece.breaks;
    return total;
}

QString TextBuffer::text(const Pieces &pieces)
{
    QString result;
    result.reserve(length(pieces));
    for (const Piece &piece : pieces)
        result.append(QStringView(piece.store->text).mid(piece.start, piece.length));
    return result;
}

int TextBuffer::pieceAt(int position) const
{
    if (position >= m_length)
        return int(m_pieces.size());
    const auto it = std::upper_bound(m_pieceStart.begin(), m_pieceStart.end(), position);
    return int(it - m_pieceStart.begin()) - 1;
}

int TextBuffer::splitAt(int position)
{
    const int p = pieceAt(position);
    if (p >= int(m_pieces.size()) || m_pieceStart[p] == position)
        return p;
    const Piece whole = m_pieces[p];
    const int head = position - m_pieceStart[p];
    const int headBreaks = breaksIn(*whole.store, whole.start, head);
    m_pieces[p] = Piece{whole.store, whole.start, head, headBreaks};
    m_pieces.insert(m_pieces.begin() + p + 1,
                    Piece{whole.store, whole.start + head, whole.length - head, whole.breaks - headBreaks});
    m_pieceStart.insert(m_pieceStart.begin() + p + 1, position);
    m_breaksBefore.insert(m_breaksBefore.begin() + p + 1, m_breaksBefore[p] + headBreaks);
    return p + 1;
}

void TextBuffer::recount()
{
    m_pieceStart.resize(m_pieces.size());
    m_breaksBefore.resize(m_pieces.size());
    int position = 0;
    int breaks = 0;
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        m_pieceStart[i] = position;
        m_breaksBefore[i] = breaks;
        position += m_pieces[i].length;
        breaks += m_pieces[i].breaks;
    }
    m_length = position;
    m_breakCount = breaks;
}

int TextBuffer::breaksIn(const Store &store, int start, int length)
{
    const auto first = std::lower_bound(store.breaks.begin(), store.breaks.end(), start);
    const auto last = std::lower_bound(first, store.breaks.end(), start + length);
    return int(last - first);
}

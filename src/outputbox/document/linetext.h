#pragma once

#include "outputbox/document/textbuffer.h"

#include <QString>
#include <QStringView>

// The one way to read a line of the buffer: a stretch at a time, straight from
// the pieces edits have left it in. A line of twenty million characters is never
// put together: a caret move reads the few characters it needs, a long line's
// layout the stretches around an edit or in view, and those mostly lie in one
// piece.
class LineText
{
public:
    LineText(const TextBuffer &buffer, int line)
        : m_buffer(&buffer)
        , m_start(buffer.lineStart(line))
        , m_length(buffer.lineLength(line))
    { }

    int size() const { return m_length; }

    // [from, to): a view into the buffer, or into *scratch when it spans
    // pieces; only that stretch is copied.
    QStringView mid(int from, int to, QString *scratch) const
    {
        const QStringView first = chunk(from, to);
        if (first.size() >= to - from)
            return first;
        *scratch = m_buffer->text(m_start + from, m_start + to);
        return *scratch;
    }

    // From `from` up to `to` or to the end of the piece that holds `from`.
    QStringView chunk(int from, int to) const { return m_buffer->chunk(m_start + from, m_start + to); }
    // Up to `to`, back to `from` or to the start of the piece that holds the
    // character before `to`.
    QStringView chunkBefore(int from, int to) const { return m_buffer->chunkBefore(m_start + from, m_start + to); }

    QChar at(int i) const
    {
        const QStringView piece = chunk(i, i + 1);
        return piece.isEmpty() ? QChar() : piece.front();
    }

    // The whole line as a string, for a line short enough to be laid out whole.
    QString toString() const { return m_buffer->text(m_start, m_start + m_length); }

    // The first column at or after `from` whose character `keep` does not
    // take, or the line's length.
    template<typename Keep>
    int skipForward(int from, Keep keep) const
    {
        while (from < m_length) {
            for (const QChar c : chunk(from, m_length)) {
                if (!keep(c))
                    return from;
                ++from;
            }
        }
        return from;
    }

    // Back from `to` over the characters `keep` takes: where they start.
    template<typename Keep>
    int skipBackward(int to, Keep keep) const
    {
        while (to > 0) {
            const QStringView piece = chunkBefore(0, to);
            for (qsizetype i = piece.size(); i > 0; --i) {
                if (!keep(piece[i - 1]))
                    return to;
                --to;
            }
        }
        return to;
    }

private:
    const TextBuffer *m_buffer;
    int m_start;
    int m_length;
};

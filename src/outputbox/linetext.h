#pragma once

#include "outputbox/textbuffer.h"

#include <QString>
#include <QStringView>

// The characters of one line, read a stretch at a time: either one string, or a
// line of the buffer that edits have left in several pieces. A line of twenty
// million characters is never put together to be laid out: only the stretches
// around an edit or in view are read, and those mostly lie in one piece.
class LineText
{
public:
    LineText(QStringView text)
        : m_text(text)
        , m_length(int(text.size()))
    { }
    LineText(const QString &text)
        : LineText(QStringView(text))
    { }
    LineText(const TextBuffer &buffer, int line)
        : m_buffer(&buffer)
        , m_start(buffer.lineStart(line))
        , m_length(buffer.lineLength(line))
    { }

    int size() const { return m_length; }

    // [from, to): a view into the text, or into *scratch when it spans pieces.
    QStringView mid(int from, int to, QString *scratch) const
    {
        if (!m_buffer)
            return m_text.mid(from, to - from);
        return m_buffer->view(m_start + from, m_start + to, scratch);
    }

    // From `from` up to `to` or to the end of the piece that holds `from`.
    QStringView chunk(int from, int to) const
    {
        if (!m_buffer)
            return m_text.mid(from, to - from);
        return m_buffer->chunk(m_start + from, m_start + to);
    }

    QChar at(int i) const
    {
        const QStringView piece = chunk(i, i + 1);
        return piece.isEmpty() ? QChar() : piece.front();
    }

private:
    QStringView m_text;
    const TextBuffer *m_buffer = nullptr;
    int m_start = 0;
    int m_length = 0;
};

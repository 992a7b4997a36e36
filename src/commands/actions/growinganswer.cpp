#include "commands/actions/growinganswer.h"

#include "storage/regularfile.h"
#include "storage/textfile.h"

GrowingAnswer::GrowingAnswer(const QString &path, qint64 maxBytes)
    : m_path(path)
    , m_maxBytes(maxBytes)
{ }

QString GrowingAnswer::next(bool last)
{
    QString text;
    if (m_heldCr) {
        text += QLatin1Char('\r');
        m_heldCr = false;
    }
    if (!m_cut && TextFile::FileExist(m_path)) {
        m_seen = true;
        RegularFile file(m_path, RegularFile::Mode::Read, TextFile::readingOperation());
        // Only what is there now, and never past the limit: an answer that does
        // not end would otherwise be read for as long as it grows.
        const qint64 size = file.size();
        const qint64 end = qMin(size, m_maxBytes);
        // Decoded straight into the text, which takes at most as many
        // characters as there are bytes: no piece is copied twice.
        qsizetype length = text.size();
        text.resize(length + m_decoder.requiredSpace(qsizetype(qMax<qint64>(end - m_offset, 0))));
        QByteArray piece(qsizetype(qMin<qint64>(qMax<qint64>(end - m_offset, 0), qint64(1) << 20)), Qt::Uninitialized);
        while (m_offset < end) {
            const qint64 n = file.read(piece.data(), qMin<qint64>(piece.size(), end - m_offset), m_offset);
            if (n <= 0)
                break;
            length = m_decoder.appendToBuffer(text.data() + length, QByteArrayView(piece.constData(), n))
                    - text.constData();
            m_offset += n;
        }
        text.truncate(length);
        m_cut = m_offset >= m_maxBytes && size > m_maxBytes;
    }
    if (last || m_cut) {
        // A character cut off at the end, as a whole read gives it.
        return text + TextFile::decoderTail(m_decoder);
    }
    if (text.endsWith(QLatin1Char('\r'))) {
        text.chop(1);
        m_heldCr = true;
    }
    return text;
}

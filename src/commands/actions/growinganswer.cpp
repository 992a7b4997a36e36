#include "commands/actions/growinganswer.h"

#include "storage/regularfile.h"
#include "storage/textfile.h"

namespace {
// Enough to hold a status line and a Date header: a new answer differs there
// even from the same server's last one.
constexpr qsizetype kHeadBytes = 256;
} // namespace

GrowingAnswer::GrowingAnswer(const QString &path, qint64 maxBytes)
    : m_path(path)
    , m_maxBytes(maxBytes)
{ }

void GrowingAnswer::restartIfReplaced(RegularFile &file, qint64 size)
{
    bool replaced = size < m_offset;
    if (!replaced && !m_head.isEmpty()) {
        QByteArray now(m_head.size(), Qt::Uninitialized);
        const qint64 n = file.read(now.data(), now.size(), 0);
        replaced = n != now.size() || now != m_head;
    }
    if (!replaced)
        return;
    m_offset = 0;
    m_head.clear();
    m_decoder = QStringDecoder(QStringDecoder::System);
    m_heldCr = false;
    m_restarted = true;
}

QString GrowingAnswer::next(bool last)
{
    QString text;
    m_restarted = false;
    if (!m_cut && TextFile::FileExist(m_path)) {
        m_seen = true;
        RegularFile file(m_path, RegularFile::Mode::Read, TextFile::readingOperation());
        // Only what is there now, and never past the limit: an answer that does
        // not end would otherwise be read for as long as it grows.
        const qint64 size = file.size();
        restartIfReplaced(file, size);
        if (m_heldCr) {
            text += QLatin1Char('\r');
            m_heldCr = false;
        }
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
            if (m_head.size() < kHeadBytes)
                m_head.append(piece.constData(), qMin<qint64>(n, kHeadBytes - m_head.size()));
            length = m_decoder.appendToBuffer(text.data() + length, QByteArrayView(piece.constData(), n))
                    - text.constData();
            m_offset += n;
        }
        text.truncate(length);
        m_cut = m_offset >= m_maxBytes && size > m_maxBytes;
    } else if (m_heldCr) {
        text += QLatin1Char('\r');
        m_heldCr = false;
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

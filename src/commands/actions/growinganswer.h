#pragma once

#include "commands/actions/resultreader.h"

#include <QString>
#include <QStringDecoder>

// Reads a result file that a running script is still writing, a part at a
// time, each part what arrived since the one before. The parts joined are the
// file's text as a whole read would give it: a character cut between two
// reads, or a CR whose LF has not come yet, waits for the next part. At most
// maxBytes of the file are read, as ResultReader shows at most.
class GrowingAnswer
{
public:
    explicit GrowingAnswer(const QString &path, qint64 maxBytes = ResultReader::kMaxShownBytes);

    // What arrived since the last call. `last`: nothing more will be written,
    // so what was held back goes out too. Throws FileError.
    QString next(bool last);

    // The file has been there at one of the reads.
    bool seen() const { return m_seen; }
    // maxBytes have been read and the file holds more.
    bool cut() const { return m_cut; }

private:
    QString m_path;
    qint64 m_maxBytes;
    qint64 m_offset = 0;
    QStringDecoder m_decoder{QStringDecoder::System};
    bool m_heldCr = false;
    bool m_seen = false;
    bool m_cut = false;
};

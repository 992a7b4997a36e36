#pragma once

#include "commands/actions/resultreader.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Reads a result file that a running script is still writing, a part at a
// time, each part what arrived since the one before. The parts joined are the
// file's text as a whole read would give it: a character cut between two
// reads, or a CR whose LF has not come yet, waits for the next part. At most
// maxBytes of the file are read, as ResultReader shows at most.
//
// Another copy of the program may start a query of its own meanwhile, and its
// script empties the file and writes a new answer into it. A file that has
// shrunk, or whose first bytes are no longer those read before, is read again
// from its start: the part then is the whole new text (see restarted()), never
// the old answer's start joined to the new one's end.
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
    // The last part is the file's text from its start, to take the place of
    // everything before it.
    bool restarted() const { return m_restarted; }

private:
    QString m_path;
    qint64 m_maxBytes;
    // Reads from the start again when the file is no longer what was read.
    void restartIfReplaced(class RegularFile &file, qint64 size);

    qint64 m_offset = 0;
    QByteArray m_head; // the file's first bytes, as read
    QStringDecoder m_decoder{QStringDecoder::System};
    bool m_heldCr = false;
    bool m_seen = false;
    bool m_cut = false;
    bool m_restarted = false;
};

#pragma once

#include "storage/appfolder.h"

#include <QStringList>

// encodings.txt in the application folder: the Accept-Encoding values a purge
// reaches besides the copy without the header, one a line, CR LF, as the
// operator writes them. A server that answers "Vary: Accept-Encoding" keeps one
// copy per value exactly as a client sent it, and a purge reaches only the copy
// of the value it sends.
class EncodingList
{
public:
    // More is refused: every value costs each URL two requests, one of them
    // reaching the origin.
    static constexpr qint64 kMaxBytes = qint64(64) << 10;
    // Each value adds a PURGE and a GET to every URL line: 16 make a line 33
    // requests, and far more than any set of clients sends.
    static constexpr qsizetype kMaxValues = 16;

    explicit EncodingList(const AppFolder &folder);

    QString filePath() const;

    // The values, in the file's order, blank lines left out; defaults() when
    // there is no file, none for an empty one (a purge as it always was).
    // Throws FileError when the file cannot be read, is larger than kMaxBytes
    // or holds more than kMaxValues values.
    QStringList load() const;

    // What today's clients send, each once.
    static QStringList defaults();

private:
    AppFolder m_folder;
};

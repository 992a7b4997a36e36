#pragma once

#include <QString>

// Reads the result files an action shows in the output box, with one limit for
// the whole action: an answer that never ends, or a result file of gigabytes,
// would otherwise keep the window reading until memory runs out. Whatever is
// left out stays in the result files, and the shown text says so in its last
// line.
class ResultReader
{
public:
    // At most this much of the result files is shown for one action.
    static constexpr qint64 kMaxShownBytes = qint64(256) << 20;

    enum class Kind {
        Purge,  // many result files, one per URL line
        Status, // one result file
    };

    explicit ResultReader(qint64 maxBytes = kMaxShownBytes);

    // Appends what the file at `path` holds (or the missing-file text). Once the
    // limit is reached nothing more is appended. Throws FileError.
    void append(QString &shown, const QString &path);

    // Ends `shown` with a line naming the first result file that was cut, if
    // any was.
    void finish(QString &shown, Kind kind) const;

    bool cut() const { return !m_cutAt.isEmpty(); }

    // The last line of a shown text cut at maxBytes in the result file `path`.
    static QString cutLine(Kind kind, qint64 maxBytes, const QString &path);

private:
    qint64 m_left;
    qint64 m_maxBytes;
    QString m_cutAt;
};

#pragma once

#include "storage/appfolder.h"

#include <QStringList>

// serverlist.txt in the application folder: one server per line, only ever
// appended to. The list shown to the operator is the file's text split at CR LF,
// piece for piece, so it mirrors the file exactly, empty pieces included.
class ServerList
{
public:
    // A larger file is refused rather than read: it cannot be a list of servers,
    // and a sparse one of gigabytes would take the program's memory.
    static constexpr qint64 kMaxBytes = qint64(64) << 20;
    // More lines are refused too: each is an item of the list on screen, which
    // takes a few hundred bytes, and 64 MiB of line ends are 32 million of them.
    static constexpr qsizetype kMaxLines = 100000;
    // And a longer line: the list lays an item's text out whole, and one line
    // of 64 MiB takes it gigabytes and half a minute. No server's name comes
    // near it.
    static constexpr qsizetype kMaxLineChars = 4096;

    explicit ServerList(const AppFolder &folder);

    QString filePath() const;

    // The items to show, read afresh from the file; the missing-file text is the
    // one item when there is no file. Throws FileError, also for a file larger
    // than kMaxBytes, with more than kMaxLines line ends, or with a line longer
    // than kMaxLineChars.
    QStringList load() const;

    // Appends server as typed, without trimming or checking. Throws FileError.
    void add(const QString &server) const;

private:
    AppFolder m_folder;
};

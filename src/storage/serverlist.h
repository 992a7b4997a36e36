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

    explicit ServerList(const AppFolder &folder);

    QString filePath() const;

    // The items to show, read afresh from the file; the missing-file text is the
    // one item when there is no file. Throws FileError, also for a file larger
    // than kMaxBytes.
    QStringList load() const;

    // Appends server as typed, without trimming or checking. Throws FileError.
    void add(const QString &server) const;

private:
    AppFolder m_folder;
};

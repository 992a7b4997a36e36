#pragma once

#include <QByteArray>
#include <QString>

// A file a script's lane reads or leaves beside the run copy (see RunCopy),
// named after it: created new and exclusively, for its owner alone, and
// written whole. The lane removes it when it ends, ScriptRunner::stop when the
// script is stopped first (removeAll).
class CompanionFile
{
public:
    // Writes bytes to a new file at path; a name that is already there is
    // never opened. Throws FileError, with nothing left behind.
    static void write(const QString &path, const QByteArray &bytes);

    // Removes every file and folder named "<run copy without .bat>.<...>".
    static void removeAll(const QString &runPath);
};

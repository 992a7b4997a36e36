#pragma once

#include "commands/shelldialect.h"
#include "storage/appfolder.h"

#include <QString>

// The status query: writes info.bat with one squidclient cache-manager request,
// starts it, waits a fixed time on the calling thread, and gives back what the
// result file holds by then.
class StatusQuery
{
public:
    static constexpr int kPauseMs = 2000;

    // Throws UnsafeTextError before anything is written, FileError on a failing
    // file operation (then nothing is started and there is no pause).
    static QString run(const AppFolder &folder, const QString &server, const QString &request, int pauseMs = kPauseMs,
                       ShellDialect dialect = nativeShellDialect());

    static QString scriptPath(const AppFolder &folder);
    // "info.txt " with its trailing blank: the script writes and we read this name.
    static QString resultPath(const AppFolder &folder);
};

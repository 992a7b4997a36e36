#pragma once

#include <QString>

// Starts a finished command script in the background, hidden and without waiting
// for it. On Linux it runs under /bin/sh in a process group of its own, its
// streams on /dev/null; on Windows under cmd.exe with no window.
namespace ScriptRunner {

// A started script: its process id, and when that process started, since the
// system hands the id to another process once the script has ended.
struct StartedScript
{
    qint64 pid = 0;
    quint64 startTime = 0; // 0 when it had ended before it could be asked
    QString runPath;       // the file the interpreter was given (see RunCopy)
    // When that file was written, by the file system's clock (FileTime): a
    // result file written before it is not this script's.
    qint64 writtenAt = -1;
};

// Starts the RunCopy at runPath, which the interpreter removes once it has
// run, and which is removed here when the interpreter cannot be started.
// Throws FileError when the script cannot start.
StartedScript start(const QString &runPath);

// True while the script that start() gave back still runs.
bool isRunning(const StartedScript &script);

// Ends a script that start() gave back, with everything it started, if it still
// runs, and removes its RunCopy, which no one else will run. Does nothing to a
// process that is not that very script.
void stop(const StartedScript &script);

} // namespace ScriptRunner

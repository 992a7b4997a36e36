#pragma once

#include <QString>

// Starts a finished command script in the background, hidden and without waiting
// for it. On Linux it runs under /bin/sh in a session of its own with no terminal;
// on Windows under cmd.exe with no window.
namespace ScriptRunner {

// Gives back the id of the process it started. Throws FileError when it cannot start.
qint64 start(const QString &scriptPath);

// Ends a script that start() gave back pid for, with everything it started, if
// it still runs. Does nothing when pid no longer belongs to that script.
void stop(qint64 pid, const QString &scriptPath);

} // namespace ScriptRunner

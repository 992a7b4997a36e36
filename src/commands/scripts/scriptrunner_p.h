#pragma once

#include <QString>

// What ScriptRunner does differently on each system: scriptrunner_unix.cpp
// and scriptrunner_win.cpp.
namespace ScriptRunnerPlatform {

// Starts the run copy at runPath through the system's interpreter, hidden,
// its standard streams on the null device, and gives its process id.
// Throws FileError.
qint64 launch(const QString &runPath);
// When the process started, in the system's own units; 0 when it is gone.
quint64 startTimeOf(qint64 pid);
// The interpreter has been started (on Windows suspended): let it run.
// Throws FileError, with the interpreter ended, when it cannot.
void started(qint64 pid, quint64 startTime, const QString &runPath);
// "Starting a command script", in the operator's language.
QString starting();

} // namespace ScriptRunnerPlatform

#pragma once

#include <QString>

// Starts a finished command script in the background, hidden and without waiting
// for it. On Linux it runs under /bin/sh in a session of its own with no terminal;
// on Windows under cmd.exe with no window. Throws FileError when it cannot start.
class ScriptRunner
{
public:
    static void start(const QString &scriptPath);
};

#pragma once

#include <QtGlobal>

// The command interpreter a script is written for.
enum class ShellDialect {
    Sh,  // /bin/sh: Linux and other Unix-like systems
    Cmd, // cmd.exe: Windows
};

// The interpreter that runs scripts on the platform we were built for.
constexpr ShellDialect nativeShellDialect()
{
#ifdef Q_OS_WIN
    return ShellDialect::Cmd;
#else
    return ShellDialect::Sh;
#endif
}

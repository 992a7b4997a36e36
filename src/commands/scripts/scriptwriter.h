#pragma once

#include "commands/scriptlines/codepages.h"
#include "commands/scriptlines/shelldialect.h"
#include "commands/scripts/runcopy.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>

// Writes a command script whole: every line is ended with CR LF, and close()
// puts the finished script in place of the old one in one step, so no reader
// ever sees half of it or a mix of two (another copy of the program in the same
// folder writes test.bat too). Until then the old script stays as it was. Every
// failure throws FileError. A script for /bin/sh is written in the local 8-bit
// encoding; one for cmd.exe in the ANSI code page of `codePages` (on Windows the
// same thing), so a Linux build can write the very bytes a Windows one would.
class ScriptWriter
{
public:
    // Throws FileError when something other than an ordinary file is in the
    // script's place, or the file beside it cannot be created.
    explicit ScriptWriter(const QString &path, ShellDialect dialect = nativeShellDialect(),
                          const CodePages &codePages = CodePages::ofSystem());
    ~ScriptWriter();

    ScriptWriter(const ScriptWriter &) = delete;
    ScriptWriter &operator=(const ScriptWriter &) = delete;

    // Writes every line into a RunCopy of the script as well, the file the
    // interpreter is then given; before the first line. Throws FileError.
    void writeRunCopy();
    // What to start once closed: the run copy, or else the script itself.
    QString runPath() const;

    void writeLine(const QString &line);
    void close();

private:
    [[noreturn]] void fail() const;
    void flushBuffer();

    QString m_path;
    QSaveFile m_file;
    std::unique_ptr<RunCopy> m_copy;
    bool m_closed = false;
    QByteArray m_buffer;
    ShellDialect m_dialect;
    CodePages m_codePages;
};

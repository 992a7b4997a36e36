#pragma once

#include "commands/codepages.h"
#include "commands/runcopy.h"
#include "commands/shelldialect.h"
#include "storage/regularfile.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Writes a command script: the file is created or emptied on construction, every
// line is ended with CR LF, and close() makes sure all of it reached the file.
// Every failure throws FileError. A script for /bin/sh is written in the local
// 8-bit encoding; one for cmd.exe in the ANSI code page of `codePages` (on Windows
// the same thing), so a Linux build can write the very bytes a Windows one would.
class ScriptWriter
{
public:
    explicit ScriptWriter(const QString &path, ShellDialect dialect = nativeShellDialect(),
                          const CodePages &codePages = CodePages::ofSystem());
    ~ScriptWriter();

    ScriptWriter(const ScriptWriter &) = delete;
    ScriptWriter &operator=(const ScriptWriter &) = delete;

    // Writes every line into a RunCopy of the script as well, the file cmd.exe
    // is then given; before the first line. Throws FileError.
    void writeRunCopy();
    // What to start once closed: the run copy, or else the script itself.
    QString runPath() const;

    void writeLine(const QString &line);
    void close();

private:
    void flushBuffer();

    RegularFile m_file;
    std::unique_ptr<RunCopy> m_copy;
    bool m_closed = false;
    QByteArray m_buffer;
    ShellDialect m_dialect;
    CodePages m_codePages;
};

#pragma once

#include "commands/scriptlines/shelldialect.h"
#include "storage/privatefile.h"

#include <QByteArray>
#include <QString>

// The copy of a command script that the interpreter is given to run. Who writes
// test.bat next is out of our hands: a second copy of the program in the same
// folder, or this one started again while its last purge still runs. cmd.exe
// reads a batch file one line at a time and goes back to it at the byte offset
// where it stopped, so a script rewritten under it is read on from the middle
// of a new line, outside that line's quotes, where a URL's "&" starts a
// command; /bin/sh reads the whole file first, but two writers of one file
// leave a mix of both scripts for it to read. So no interpreter ever runs
// test.bat itself but a new file beside it, under a name no one else picks,
// that nothing writes after it is closed; test.bat stays the record of the last
// script. The copy is removed once it has run: by its own last line under
// cmd.exe, and by the shell as soon as it has read it. Like every file of a
// run, only its owner may read it (see PrivateFile).
class RunCopy
{
public:
    // Creates "<script's base name>.run-<random>.bat" beside scriptPath; a name
    // that is already there is never opened. Throws FileError.
    RunCopy(const QString &scriptPath, ShellDialect dialect);

    RunCopy(const RunCopy &) = delete;
    RunCopy &operator=(const RunCopy &) = delete;

    // Throws FileError.
    void write(const QByteArray &bytes);
    // Closes the copy; for cmd.exe with a last line that deletes it once the
    // script has run. Throws FileError.
    void close();

    // Closes and removes a copy that will not be run.
    void discard();

    const QString &path() const { return m_file.path(); }

    // "<folder>/<script's base name>.run-": what the files of one run are
    // named after, the copy's random part and a suffix following.
    static QString runPrefix(const QString &scriptPath);

private:
    PrivateFile m_file;
    ShellDialect m_dialect;
};

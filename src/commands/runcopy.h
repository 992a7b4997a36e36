#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The copy of a command script that cmd.exe is given to run. cmd.exe reads a
// batch file one line at a time and goes back to it at the byte offset where it
// stopped, so a script rewritten under it is read on from the middle of a new
// line, outside that line's quotes, where a URL's "&" starts a command. Who
// rewrites test.bat next is out of our hands: a second copy of the program in
// the same folder, or this one started again while its last purge still runs.
// So cmd.exe never runs test.bat itself but a new file beside it, under a name
// no one else picks, that nothing writes after it is closed; test.bat stays the
// record of the last script. The copy's last line deletes it.
//
// Only for cmd.exe: /bin/sh has read the whole script before it runs a line.
class RunCopy
{
public:
    // Creates "<script's base name>.run-<random>.bat" beside scriptPath; a name
    // that is already there is never opened. Throws FileError.
    explicit RunCopy(const QString &scriptPath);

    RunCopy(const RunCopy &) = delete;
    RunCopy &operator=(const RunCopy &) = delete;

    // Throws FileError.
    void write(const QByteArray &bytes);
    // Adds the line that deletes the copy once the script has run, and closes it.
    // Throws FileError.
    void close();

    // Closes and removes a copy that will not be run.
    void discard();

    const QString &path() const { return m_path; }

private:
    [[noreturn]] void fail() const;

    QString m_path;
    QFile m_file;
};

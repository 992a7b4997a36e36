#pragma once

#include <QString>

// The folder every file of the program lives in, in native form and without a
// trailing separator (a root keeps its own). File names are joined to it with the
// platform's separator and nothing else decides where a file goes.
class AppFolder
{
public:
    // Throws ActionError for an empty path.
    explicit AppFolder(const QString &path);

    // The folder of the running executable; throws ActionError when it cannot be
    // told (see usable()).
    static AppFolder ofExecutable();

    // path as the program's folder, or ActionError when it is empty or not an
    // existing folder: the program never works on a folder other than its own.
    static AppFolder usable(const QString &path);

    const QString &path() const { return m_path; }

    // path + separator + name; at a root this gives two separators in a row,
    // which every platform we run on reads as one.
    QString file(const QString &name) const;

    // The program's own folder, where the client beside it, encodings.txt and
    // the server list are: path() itself, but for a folder of another
    // server's scripts and results (see withResultsIn()).
    const QString &programPath() const { return m_programPath; }
    QString programFile(const QString &name) const;
    // This folder's program files, with its scripts and result files in
    // `path` instead.
    AppFolder withResultsIn(const QString &path) const;

private:
    QString m_path;
    QString m_programPath;
};

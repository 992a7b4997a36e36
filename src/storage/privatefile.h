#pragma once

#include <QFile>
#include <QString>

// A file of one run that only its owner may read: a run copy of a script, or a
// client's config file with a password in it. It is created new and
// exclusively under "<prefix><random><suffix>", so whatever is already under a
// name, another copy's file or anything put there, is never opened, and it is
// made readable and writable by its owner alone before anything is written.
class PrivateFile
{
public:
    // Throws FileError for `operation` when no such file can be created.
    PrivateFile(const QString &prefix, const QString &suffix, const QString &operation);

    PrivateFile(const PrivateFile &) = delete;
    PrivateFile &operator=(const PrivateFile &) = delete;

    const QString &path() const { return m_path; }

    // Throws FileError.
    void write(const QByteArray &bytes);
    // Throws FileError.
    void close();
    // Closes and removes it.
    void discard();

    // Narrows an existing file of ours to its owner; a file that is not there,
    // or is no ordinary file, is left alone. The shell's ">" keeps the mode of
    // a file it empties, so an answer written before by a wider umask would
    // stay readable to all. Does nothing on Windows, where a new file takes the
    // folder's rights.
    static void restrictToOwner(const QString &path);

private:
    [[noreturn]] void fail() const;

    QString m_path;
    QString m_operation;
    QFile m_file;
};

#pragma once

#include <QByteArray>
#include <QString>

// An ordinary file, open for one operation and closed when this goes. Opening
// never blocks, and the type is asked of the open file itself: a FIFO or a
// device put under the name, even between a check and the open, is refused
// with FileError instead of hanging the window or being read forever.
//
// Qt has no lock on an open file, which appending needs, so this talks to the
// system directly.
class RegularFile
{
public:
    enum class Mode {
        Read,
        Append, // created when absent; every write lands at the file's end
        Write,  // created when absent, emptied when there
    };

    // Throws FileError for `operation` when the file cannot be opened or is not
    // an ordinary file.
    RegularFile(const QString &path, Mode mode, const QString &operation);
    ~RegularFile();

    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    const QString &path() const { return m_path; }

    // The file's size now. Throws FileError.
    qint64 size() const;

    // Waits for an exclusive lock on the whole file, held until the file is
    // closed: two programs appending take turns instead of writing over each
    // other. Throws FileError.
    void lock();

    // Reads up to `size` bytes at the current position, or at `offset` when it is
    // not negative; 0 at the end. Throws FileError.
    qint64 read(char *data, qint64 size, qint64 offset = -1);

    // Writes all of bytes: at the end in Append mode, else at the current
    // position. Throws FileError with the system's reason when the disk is full
    // or the size limit is reached; in Append mode the part of bytes that got in
    // is cut off again first, as long as nothing was written after it.
    void writeAll(const QByteArray &bytes);

    // Closes the file. Throws FileError when the system reports a failure (a
    // write that did not reach the disk after all).
    void close();

private:
    [[noreturn]] void fail(const QString &reason) const;
    void cutBack(qint64 from, qint64 to);

    QString m_path;
    QString m_operation;
    Mode m_mode;
#ifdef Q_OS_WIN
    void *m_handle; // HANDLE
#else
    int m_fd;
#endif
};

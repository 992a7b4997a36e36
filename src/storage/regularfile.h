#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// An ordinary file, open for one operation and closed when this goes. Opening
// never blocks, and the type is asked of the open file itself: a FIFO or a
// device put under the name, even between a check and the open, is refused
// with FileError instead of hanging the window or being read forever. Where the
// system makes us wait (a lease or oplock being broken, a lock another program
// holds), we ask again until kWaitMs have passed, then give up with FileError:
// the window's thread is never held for good.
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

    // How long an open or a lock is tried again while another program holds the
    // file.
    static constexpr int kWaitMs = 3000;

    // Throws FileError for `operation` when the file cannot be opened or is not
    // an ordinary file.
    RegularFile(const QString &path, Mode mode, const QString &operation);
    ~RegularFile();

    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    const QString &path() const { return m_path; }

    // The file's size now. Throws FileError.
    qint64 size() const;

    // Takes an exclusive lock on the whole file, held until the file is closed:
    // two programs appending take turns instead of writing over each other.
    // Waits at most kWaitMs for another holder to let go. Throws FileError.
    void lock();

    // Reads up to `size` bytes at the current position, or at `offset` when it is
    // not negative; 0 at the end. Throws FileError.
    qint64 read(char *data, qint64 size, qint64 offset = -1);

    // Writes all of bytes: at the end in Append mode, else at the current
    // position. Throws FileError with the system's reason when the disk is full
    // or the size limit is reached; in Append mode the part of bytes that got in
    // is cut off again first, as long as nothing was written after it, and the
    // reason says so when even that failed.
    void writeAll(const QByteArray &bytes);

    // Closes the file. An append is flushed to the disk first, while it can
    // still be taken back: an error that only shows then (a network file
    // system, a quota) cuts our bytes off again before it is reported. Throws
    // FileError when the system reports a failure.
    void close();

private:
    [[noreturn]] void fail(const QString &reason) const;
    // Fails with `reason`, after cutting what this appended off again.
    [[noreturn]] void failAppend(const QString &reason);
    // False when the file could not be cut back.
    bool cutBack(qint64 from, qint64 to);

    QString m_path;
    QString m_operation;
    Mode m_mode;
    // Where the bytes this appended are, while they are one piece: -1 before
    // the first write and once another writer's bytes are in between.
    qint64 m_appendStart = -1;
    qint64 m_appendEnd = -1;
    // The open file: a HANDLE on Windows, a file descriptor elsewhere. -1 is
    // closed on both (INVALID_HANDLE_VALUE is -1), so each platform's file
    // reads it as its own type.
    qintptr m_handle = -1;
};

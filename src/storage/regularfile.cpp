#include "storage/regularfile.h"

#include "storage/fileerror.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
QString notOrdinary()
{
    return QCoreApplication::translate("RegularFile", "This is not an ordinary file");
}

QString heldByAnother()
{
    return QCoreApplication::translate("RegularFile",
                                       "Another program holds this file and did not let go of it within %1 "
                                       "seconds. Try again once it has.")
            .arg(RegularFile::kWaitMs / 1000);
}

// Calls `attempt` until it stops asking to wait (it returns false while the
// system says another program is in the way), or until kWaitMs have passed.
// True when it succeeded or failed for another reason. Asked again every
// millisecond: another copy of the program appending line after line lets go
// of its lock only for a moment between two of them.
template<typename Attempt>
bool tryForAWhile(Attempt attempt)
{
    const QDeadlineTimer deadline(RegularFile::kWaitMs);
    for (;;) {
        if (attempt())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
}
} // namespace

void RegularFile::fail(const QString &reason) const
{
    throw FileError(m_operation, m_path, reason);
}

void RegularFile::failAppend(const QString &reason)
{
    if (m_appendStart >= 0 && !cutBack(m_appendStart, m_appendEnd))
        fail(reason + QLatin1Char(' ')
             + QCoreApplication::translate("RegularFile",
                                           "What had been written could not be taken out again: the file may end "
                                           "with part of the line."));
    fail(reason);
}

#ifdef Q_OS_WIN

RegularFile::RegularFile(const QString &path, Mode mode, const QString &operation)
    : m_path(path)
    , m_operation(operation)
    , m_mode(mode)
    , m_handle(INVALID_HANDLE_VALUE)
{
    const DWORD access = mode == Mode::Read ? GENERIC_READ
            : mode == Mode::Append          ? GENERIC_READ | GENERIC_WRITE
                                            : GENERIC_WRITE;
    const DWORD disposition = mode == Mode::Read ? OPEN_EXISTING : OPEN_ALWAYS;
    // Another program that opened it without sharing is waited for a while.
    DWORD error = ERROR_SUCCESS;
    const bool answered = tryForAWhile([&] {
        m_handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), access,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        return m_handle != INVALID_HANDLE_VALUE || error != ERROR_SHARING_VIOLATION;
    });
    if (!answered)
        fail(heldByAnother());
    if (m_handle == INVALID_HANDLE_VALUE)
        fail(qt_error_string(int(error)));
    // The destructor does not run for a constructor that throws.
    const auto refuse = [this](const QString &reason) {
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        fail(reason);
    };
    if (GetFileType(m_handle) != FILE_TYPE_DISK)
        refuse(notOrdinary());
    if (mode == Mode::Write && !SetEndOfFile(m_handle))
        refuse(qt_error_string());
}

RegularFile::~RegularFile()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
}

qint64 RegularFile::size() const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_handle, &size))
        fail(qt_error_string());
    return size.QuadPart;
}

void RegularFile::lock()
{
    // A lock on Windows is mandatory: nobody else writes into the range while we
    // hold it, so the end of the file stays where we find it.
    DWORD error = ERROR_SUCCESS;
    const bool answered = tryForAWhile([&] {
        OVERLAPPED whole = {};
        if (LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
            error = ERROR_SUCCESS;
            return true;
        }
        error = GetLastError();
        return error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING;
    });
    if (!answered)
        fail(heldByAnother());
    if (error != ERROR_SUCCESS)
        fail(qt_error_string(int(error)));
}

qint64 RegularFile::read(char *data, qint64 size, qint64 offset)
{
    OVERLAPPED at = {};
    if (offset >= 0) {
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(quint64(offset) >> 32);
    }
    DWORD got = 0;
    const DWORD want = DWORD(qMin<qint64>(size, 1 << 30));
    if (!ReadFile(m_handle, data, want, &got, offset >= 0 ? &at : nullptr) && GetLastError() != ERROR_HANDLE_EOF)
        fail(qt_error_string());
    return got;
}

void RegularFile::writeAll(const QByteArray &bytes)
{
    qint64 start = 0;
    if (m_mode == Mode::Append) {
        start = size();
        LARGE_INTEGER to;
        to.QuadPart = start;
        if (!SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN))
            fail(qt_error_string());
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(m_handle, bytes.constData() + done, DWORD(qMin<qint64>(bytes.size() - done, 1 << 30)), &n,
                       nullptr)
            || n == 0) {
            const QString reason = qt_error_string();
            if (m_mode == Mode::Append && done > 0)
                failAppend(reason);
            fail(reason);
        }
        done += n;
        if (m_mode == Mode::Append) {
            // The lock keeps other writers out of the range: ours stay one piece.
            m_appendStart = start;
            m_appendEnd = start + done;
        }
    }
}

bool RegularFile::cutBack(qint64 from, qint64 to)
{
    LARGE_INTEGER at;
    at.QuadPart = from;
    LARGE_INTEGER size;
    return GetFileSizeEx(m_handle, &size) && size.QuadPart == to && SetFilePointerEx(m_handle, at, nullptr, FILE_BEGIN)
            && SetEndOfFile(m_handle);
}

void RegularFile::close()
{
    if (m_mode == Mode::Append && m_appendStart >= 0 && !FlushFileBuffers(m_handle))
        failAppend(qt_error_string());
    const HANDLE handle = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle))
        fail(qt_error_string());
}

#else

RegularFile::RegularFile(const QString &path, Mode mode, const QString &operation)
    : m_path(path)
    , m_operation(operation)
    , m_mode(mode)
    , m_fd(-1)
{
    // O_NONBLOCK: opening a FIFO would otherwise wait for its other end. It has no
    // effect on the reads and writes of an ordinary file.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::Append:
        // Read too: the last byte tells whether the file's last line is finished.
        flags |= O_RDWR | O_APPEND | O_CREAT;
        break;
    case Mode::Write:
        // Not O_TRUNC: the file is emptied only once it is known to be a file.
        flags |= O_WRONLY | O_CREAT;
        break;
    }
    const QByteArray name = QFile::encodeName(path);
    // A file under a lease (Samba's oplocks, an NFS delegation) answers
    // EWOULDBLOCK at once while the lease is being broken: asked again a while.
    int error = 0;
    const bool answered = tryForAWhile([&] {
        do {
            m_fd = ::open(name.constData(), flags, 0666);
        } while (m_fd < 0 && errno == EINTR);
        error = m_fd < 0 ? errno : 0;
        return m_fd >= 0 || (error != EWOULDBLOCK && error != EAGAIN);
    });
    errno = error;
    if (!answered)
        fail(heldByAnother());
    if (m_fd < 0)
        // A FIFO without a reader cannot be opened for writing without blocking.
        fail(errno == ENXIO ? notOrdinary() : qt_error_string(errno));

    // The destructor does not run for a constructor that throws.
    const auto refuse = [this](const QString &reason) {
        ::close(m_fd);
        m_fd = -1;
        fail(reason);
    };
    struct stat info;
    if (fstat(m_fd, &info) != 0)
        refuse(qt_error_string(errno));
    if (S_ISDIR(info.st_mode))
        refuse(qt_error_string(EISDIR));
    if (!S_ISREG(info.st_mode))
        refuse(notOrdinary());
    if (mode == Mode::Write && ftruncate(m_fd, 0) != 0)
        refuse(qt_error_string(errno));
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 RegularFile::size() const
{
    struct stat info;
    if (fstat(m_fd, &info) != 0)
        fail(qt_error_string(errno));
    return info.st_size;
}

void RegularFile::lock()
{
    // Advisory: every copy of this program takes it, and a writer that does not
    // still cannot be written over, since appends always land at the end. Anyone
    // who can read the file can hold it, so it is never waited for without end.
    int error = 0;
    const bool answered = tryForAWhile([&] {
        int result;
        do {
            result = flock(m_fd, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        error = result == 0 ? 0 : errno;
        return error != EWOULDBLOCK;
    });
    if (!answered)
        fail(heldByAnother());
    if (error != 0)
        fail(qt_error_string(error));
}

qint64 RegularFile::read(char *data, qint64 size, qint64 offset)
{
    ssize_t n;
    do {
        n = offset >= 0 ? pread(m_fd, data, size_t(size), off_t(offset)) : ::read(m_fd, data, size_t(size));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        fail(qt_error_string(errno));
    return n;
}

void RegularFile::writeAll(const QByteArray &bytes)
{
    // In Append mode every write lands at the end of the file, wherever that is
    // by then; where ours went is read back after each one, so that a failure
    // cuts off exactly our part and no other writer's line.
    qint64 start = -1;
    qint64 end = -1;
    bool ours = true; // our bytes are one piece, nothing in between
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A short write sets no error; the write after it gives the reason.
            const QString reason = n < 0 ? qt_error_string(errno) : qt_error_string(EIO);
            if (m_mode == Mode::Append && start >= 0)
                failAppend(reason);
            fail(reason);
        }
        if (m_mode == Mode::Append) {
            const qint64 after = lseek(m_fd, 0, SEEK_CUR);
            if (start < 0)
                start = after - n;
            else if (after - n != end)
                ours = false;
            end = after;
            // Once another writer's bytes are in between, ours cannot be cut off
            // alone.
            m_appendStart = ours ? start : -1;
            m_appendEnd = end;
        }
        done += n;
    }
}

bool RegularFile::cutBack(qint64 from, qint64 to)
{
    // Only while the file still ends with our bytes: anything after them is
    // another writer's, and cutting would take it too.
    struct stat info;
    return fstat(m_fd, &info) == 0 && info.st_size == to && ftruncate(m_fd, from) == 0;
}

void RegularFile::close()
{
    // A file system that cannot flush (EINVAL: it keeps nothing to flush) has
    // nothing to report.
    if (m_mode == Mode::Append && m_appendStart >= 0 && fdatasync(m_fd) != 0 && errno != EINVAL)
        failAppend(qt_error_string(errno));
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail(qt_error_string(errno));
}

#endif

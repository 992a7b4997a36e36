#include "storage/regularfile.h"

#include "storage/regularfile_p.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// RegularFile on POSIX systems: a file descriptor, locked with flock.

using namespace RegularFileCommon;

namespace {
int descriptor(qintptr handle)
{
    return int(handle);
}
} // namespace

RegularFile::RegularFile(const QString &path, Mode mode, const QString &operation)
    : m_path(path)
    , m_operation(operation)
    , m_mode(mode)
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
            m_handle = ::open(name.constData(), flags, 0666);
        } while (m_handle < 0 && errno == EINTR);
        error = m_handle < 0 ? errno : 0;
        return m_handle >= 0 || (error != EWOULDBLOCK && error != EAGAIN);
    });
    errno = error;
    if (!answered)
        fail(heldByAnother());
    if (m_handle < 0)
        // A FIFO without a reader cannot be opened for writing without blocking.
        fail(errno == ENXIO ? notOrdinary() : qt_error_string(errno));

    // The destructor does not run for a constructor that throws.
    const auto refuse = [this](const QString &reason) {
        ::close(descriptor(m_handle));
        m_handle = -1;
        fail(reason);
    };
    struct stat info;
    if (fstat(descriptor(m_handle), &info) != 0)
        refuse(qt_error_string(errno));
    if (S_ISDIR(info.st_mode))
        refuse(qt_error_string(EISDIR));
    if (!S_ISREG(info.st_mode))
        refuse(notOrdinary());
    if (mode == Mode::Write && ftruncate(descriptor(m_handle), 0) != 0)
        refuse(qt_error_string(errno));
}

RegularFile::~RegularFile()
{
    if (m_handle >= 0)
        ::close(descriptor(m_handle));
}

qint64 RegularFile::size() const
{
    struct stat info;
    if (fstat(descriptor(m_handle), &info) != 0)
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
            result = flock(descriptor(m_handle), LOCK_EX | LOCK_NB);
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
        n = offset >= 0 ? pread(descriptor(m_handle), data, size_t(size), off_t(offset))
                        : ::read(descriptor(m_handle), data, size_t(size));
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
        const ssize_t n = ::write(descriptor(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
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
            const qint64 after = lseek(descriptor(m_handle), 0, SEEK_CUR);
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
    return fstat(descriptor(m_handle), &info) == 0 && info.st_size == to && ftruncate(descriptor(m_handle), from) == 0;
}

void RegularFile::close()
{
    // A file system that cannot flush (EINVAL: it keeps nothing to flush) has
    // nothing to report.
    if (m_mode == Mode::Append && m_appendStart >= 0 && fdatasync(descriptor(m_handle)) != 0 && errno != EINVAL)
        failAppend(qt_error_string(errno));
    const int fd = descriptor(m_handle);
    m_handle = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail(qt_error_string(errno));
}

#include "storage/privatefile.h"

#include "storage/fileerror.h"

#include <QRandomGenerator>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

PrivateFile::PrivateFile(const QString &prefix, const QString &suffix, const QString &operation)
    : m_operation(operation)
{
    // Only a name that keeps coming back taken means something is wrong.
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_path = prefix + QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'))
                + suffix;
        m_file.setFileName(m_path);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            // Empty yet: narrowed before the first byte that may be secret.
            if (!m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
                discard();
                fail();
            }
            return;
        }
        if (!m_file.exists())
            break;
    }
    fail();
}

void PrivateFile::fail() const
{
    throw FileError(m_operation, m_path, m_file.errorString());
}

void PrivateFile::write(const QByteArray &bytes)
{
    if (m_file.write(bytes) != bytes.size())
        fail();
}

void PrivateFile::close()
{
    if (!m_file.flush())
        fail();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        fail();
}

void PrivateFile::discard()
{
    m_file.close();
    QFile::remove(m_path);
}

void PrivateFile::restrictToOwner(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
#else
    // Through the open file, never the name: a link in its place is not
    // followed, and a FIFO is not waited for.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) != 0)
        fchmod(fd, info.st_mode & 0700);
    ::close(fd);
#endif
}

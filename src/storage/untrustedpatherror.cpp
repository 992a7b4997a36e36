#include "storage/untrustedpatherror.h"

#include <QCoreApplication>
#include <QFile>

#ifndef Q_OS_WIN
#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// The owner that files of users this user namespace does not map appear to
// have, or -1 outside such a namespace. Inside one that maps us to root (as
// tools/local-cache-server runs the program), root's own files, Debian's
// squidclient among them, show this owner and no other: it counts as root's.
// In the machine's own namespace it is an ordinary user (nobody), and counts
// for nothing.
qint64 unmappedOwner()
{
    QFile map(QStringLiteral("/proc/self/uid_map"));
    if (!map.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = map.readAll().simplified().split(' ');
    // The machine's own namespace maps every id to itself.
    if (fields == QList<QByteArray>{"0", "0", "4294967295"})
        return -1;
    // Is real root mapped? Then its files show as what it is mapped to.
    for (qsizetype i = 0; i + 2 < fields.size(); i += 3) {
        if (fields.at(i + 1) == "0")
            return -1;
    }
    QFile overflow(QStringLiteral("/proc/sys/kernel/overflowuid"));
    if (!overflow.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 uid = overflow.readAll().trimmed().toLongLong(&ok);
    return ok ? uid : -1;
}
} // namespace
#endif

UntrustedPathError::UntrustedPathError(const QString &path, const QString &reason)
    : ActionError(QCoreApplication::translate("UntrustedPathError", "Checking who may change the program's files"),
                  path, reason)
{ }

QString UntrustedPathError::message() const
{
    return QCoreApplication::translate(
                   "UntrustedPathError",
                   "Nothing was written or started.\n\n%1 is %2. Whoever can change it can make this program run "
                   "their own commands as you. Make it yours, writable by you alone (chmod go-w), and try again.")
            .arg(subject(), reason());
}

void UntrustedPathError::check(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
#else
    struct stat info;
    // A link is judged by what it leads to (make install links Debian's
    // squidclient); the link itself lies in the folder, which is checked too.
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return;
    if (info.st_uid != geteuid() && info.st_uid != 0 && qint64(info.st_uid) != unmappedOwner())
        throw UntrustedPathError(path, QCoreApplication::translate("UntrustedPathError", "owned by another user (uid %1)")
                                               .arg(qulonglong(info.st_uid)));
    if (info.st_mode & S_IWOTH)
        throw UntrustedPathError(path, QCoreApplication::translate("UntrustedPathError", "writable by every user"));
    if (info.st_mode & S_IWGRP)
        throw UntrustedPathError(path,
                                 QCoreApplication::translate("UntrustedPathError", "writable by its group (gid %1)")
                                         .arg(qulonglong(info.st_gid)));
#endif
}

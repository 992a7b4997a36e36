#include "storage/untrustedpatherror.h"

#include <QCoreApplication>
#include <QFile>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
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
    if (info.st_uid != geteuid() && info.st_uid != 0)
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

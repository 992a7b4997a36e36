#include "storage/filetime.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

qint64 FileTime::modifiedNs(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#else
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() * 1000000 : -1;
#endif
}

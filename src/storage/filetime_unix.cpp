#include "storage/filetime.h"

#include <QFile>

#include <sys/stat.h>

qint64 FileTime::modifiedNs(const QString &path)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

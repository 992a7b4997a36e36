#include "storage/filetime.h"

#include <QDateTime>
#include <QFileInfo>

// Qt gives Windows' file times in milliseconds; the result files are compared
// at that grain alike (see PurgeAnswer::sortFile).
qint64 FileTime::modifiedNs(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() * 1000000 : -1;
}

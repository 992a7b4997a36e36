#include "storage/regularfile.h"

#include "storage/fileerror.h"
#include "storage/regularfile_p.h"

#include <QCoreApplication>

// What both platforms share; each platform's calls are in regularfile_win.cpp
// and regularfile_unix.cpp.

QString RegularFileCommon::notOrdinary()
{
    return QCoreApplication::translate("RegularFile", "This is not an ordinary file");
}

QString RegularFileCommon::heldByAnother()
{
    return QCoreApplication::translate("RegularFile",
                                       "Another program holds this file and did not let go of it within %1 "
                                       "seconds. Try again once it has.")
            .arg(RegularFile::kWaitMs / 1000);
}

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

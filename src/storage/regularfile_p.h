#pragma once

#include "storage/regularfile.h"

#include <QDeadlineTimer>
#include <QString>
#include <QThread>

// What RegularFile's platform files share: waiting while another program holds
// the file, and the messages for the refusals both make.
namespace RegularFileCommon {
QString notOrdinary();
QString heldByAnother();

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
} // namespace RegularFileCommon

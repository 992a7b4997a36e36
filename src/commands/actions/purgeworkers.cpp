#include "commands/actions/purgeworkers.h"

#include <QThreadPool>

namespace {
Q_GLOBAL_STATIC(QThreadPool, workers)
} // namespace

QThreadPool *PurgeWorkers::pool()
{
    return workers();
}

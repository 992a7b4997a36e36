#include "commands/actions/purgeworkers.h"

#include <QThreadPool>

namespace {
Q_GLOBAL_STATIC(QThreadPool, workers)

struct Starter : QThreadPool
{
    Starter() { setMaxThreadCount(1); }
};
Q_GLOBAL_STATIC(Starter, starterThread)
} // namespace

QThreadPool *PurgeWorkers::pool()
{
    return workers();
}

QThreadPool *PurgeWorkers::starter()
{
    return starterThread();
}

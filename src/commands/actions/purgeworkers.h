#pragma once

class QThreadPool;

// The threads that make the purges' plans and reports, as many as the machine
// has cores. Not Qt's global pool: Qt's raster painting hands parts of a large
// paint to that pool and waits for them, so a window whose paint queued behind
// the reading of 10,000 result files on a busy disk would not paint, nor show
// a key typed, for seconds.
namespace PurgeWorkers {
QThreadPool *pool();
// The one thread that starts the purges' scripts (see PurgeWatch::startPurge),
// each in turn and never behind a report.
QThreadPool *starter();
}

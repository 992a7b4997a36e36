#pragma once

#include <QString>

// When a file was last written, by the clock of the file system that holds it.
// Two files of one folder are compared by this clock alone: the system's wall
// clock may run apart from it (a coarser tick, a network file system's server).
namespace FileTime {

// Nanoseconds since the epoch, or -1 when there is no such file.
qint64 modifiedNs(const QString &path);

} // namespace FileTime

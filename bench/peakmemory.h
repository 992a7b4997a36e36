#pragma once

#include <QString>

// Peak memory of one 100,000-line purge click, as the kernel counts it (VmHWM),
// measured in a child process of its own so nothing the other cases allocated
// is counted.
namespace PeakMemory {

inline constexpr char kChildFlag[] = "--peak-memory-child=";

struct Result
{
    bool ok = false;
    QString error;
    double beforeMiB = 0;    // resident before the click: Qt, the window, Text1's URLs
    double peakMiB = 0;      // highest resident size from the click to the end of its paint
    bool peakOfClick = true; // false when the kernel could not reset the mark first
};

// Runs this executable again as a child that opens a window on `folder`, fills
// Text1 with 100,000 URLs, clicks Command1 once and reports its peak.
Result measure(const QString &folder);

// The child's side; `argument` is what follows kChildFlag. Returns the exit code.
int runChild(const QString &argument);

} // namespace PeakMemory

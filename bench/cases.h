#pragma once

#include <QString>

// The timed cases, each registered with Google Benchmark beside its baseline.
namespace Cases {

// URL lines of the purge cases; growth is measured between the last two.
inline constexpr long long kPurgeLines[] = {1000, 10000, 100000};
inline constexpr int kServers = 10000;
inline constexpr int kRepetitions = 5;
inline constexpr long long kStatusBytes = 50LL * 1024 * 1024;

// Registers every case; `root` is the run's temporary folder.
void registerAll(const QString &root);

// The purge folders, filled for 100,000 lines on first use: `second` has every
// result file in place, the other has none.
QString purgeFolder(bool second);

// Closes the windows the cases kept open.
void shutdown();

} // namespace Cases

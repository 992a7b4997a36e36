#pragma once

#include "peakmemory.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace Summary {

// Google Benchmark's console output, plus the median of every case kept for the
// table at the end.
class Reporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal, so a saved log stays readable.
    Reporter();

    void ReportRuns(const std::vector<Run> &runs) override;

    // Median seconds per iteration by case name.
    const std::map<std::string, double> &medians() const { return m_medians; }
    const std::map<std::string, std::string> &errors() const { return m_errors; }

private:
    std::map<std::string, double> m_medians;
    std::map<std::string, std::string> m_errors;
};

struct Memory
{
    std::string label;
    PeakMemory::Result result;
};

// Prints the table of every case against its baseline and target. Returns the
// number of targets missed.
int print(const Reporter &reporter, const std::vector<Memory> &memory);

} // namespace Summary

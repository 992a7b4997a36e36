#include "summary.h"

#include "cases.h"

#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace Summary {

namespace {

double toSeconds(benchmark::TimeUnit unit)
{
    switch (unit) {
    case benchmark::kNanosecond:
        return 1e-9;
    case benchmark::kMicrosecond:
        return 1e-6;
    case benchmark::kMillisecond:
        return 1e-3;
    case benchmark::kSecond:
        return 1;
    }
    return 1;
}

std::string withCommas(long long n)
{
    std::string digits = std::to_string(n);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(size_t(i), ",");
    return digits;
}

std::string milliseconds(double seconds)
{
    if (std::isnan(seconds))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, seconds < 0.01 ? "%.3f ms" : "%.1f ms", seconds * 1000);
    return text;
}

std::string number(double value, const char *format)
{
    if (std::isnan(value))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

struct Row
{
    std::string label;
    std::string value;
    std::string baseline;
    std::string ratio;
    std::string target;
    std::string verdict; // "ok", "MISSED" or empty when there is no target
};

} // namespace

Reporter::Reporter()
    : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
{ }

void Reporter::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        const std::string &name = run.run_name.function_name;
        if (run.error_occurred)
            m_errors[name] = run.error_message;
        else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
            m_medians[name] = run.GetAdjustedRealTime() * toSeconds(run.time_unit);
    }
}

int print(const Reporter &reporter, const std::vector<Memory> &memory)
{
    const double none = std::nan("");
    auto median = [&](const std::string &name) {
        const auto it = reporter.medians().find(name);
        return it == reporter.medians().end() ? none : it->second;
    };

    std::vector<Row> rows;
    int missed = 0;
    auto judge = [&](bool measured, bool met) -> std::string {
        if (!measured)
            return "-";
        if (!met)
            ++missed;
        return met ? "ok" : "MISSED";
    };
    auto timed = [&](const std::string &label, const std::string &name, double maxRatio) {
        const double value = median(name);
        const double base = median("baseline/" + name);
        const double ratio = value / base;
        Row row{label, milliseconds(value), milliseconds(base), number(ratio, "%.2fx"), "", ""};
        if (maxRatio > 0) {
            row.target = "<= " + number(maxRatio, "%.1fx") + " baseline";
            row.verdict = judge(!std::isnan(ratio), ratio <= maxRatio);
        }
        rows.push_back(row);
    };

    const long long largest = Cases::kPurgeLines[std::size(Cases::kPurgeLines) - 1];
    const long long nextLargest = Cases::kPurgeLines[std::size(Cases::kPurgeLines) - 2];
    for (const char *run : {"fresh", "second"}) {
        for (long long lines : Cases::kPurgeLines) {
            const std::string name = std::string("purge/") + run + "/" + std::to_string(lines);
            const std::string label = std::string("purge, ")
                    + (run == std::string("fresh") ? "fresh folder, " : "second run, ") + withCommas(lines) + " lines";
            timed(label, name, run == std::string("fresh") && lines == largest ? 2.0 : 0);
        }
    }
    for (const char *run : {"fresh", "second"}) {
        const std::string stem = std::string("purge/") + run + "/";
        const double growth = median(stem + std::to_string(largest)) / median(stem + std::to_string(nextLargest));
        const double baseGrowth = median("baseline/" + stem + std::to_string(largest))
                / median("baseline/" + stem + std::to_string(nextLargest));
        rows.push_back({std::string("purge growth ") + withCommas(largest) + "/" + withCommas(nextLargest) + ", " + run,
                        number(growth, "%.2f"), number(baseGrowth, "%.2f"), "",
                        // The targets are set for the fresh folder; the second run is
                        // shown for what it costs.
                        run == std::string("fresh") ? "<= 12" : "(none)",
                        run == std::string("fresh") ? judge(!std::isnan(growth), growth <= 12) : ""});
    }
    timed("load server list, " + withCommas(Cases::kServers) + " servers",
          "load_server_list/" + std::to_string(Cases::kServers), 0);
    timed("status query, 50 MiB result, pause 0", "status_query/50MiB", 0);
    {
        const double value = median("window_start");
        const double base = median("baseline/window_start");
        const double ratio = value / base;
        rows.push_back({"window start to first paint (baseline: bare window)", milliseconds(value), milliseconds(base),
                        number(ratio, "%.2fx"), "<= 1.3x bare", judge(!std::isnan(ratio), ratio <= 1.3)});
    }
    for (const Memory &m : memory) {
        const bool targeted = m.label.find("fresh") != std::string::npos;
        Row row{m.label, "-", "-", "", targeted ? "< 150 MiB" : "(none)", "-"};
        if (m.result.ok) {
            row.value = number(m.result.peakMiB, "%.1f MiB");
            row.baseline = number(m.result.beforeMiB, "%.1f MiB") + " before";
            row.verdict = targeted ? judge(true, m.result.peakMiB < 150) : "";
        } else {
            row.baseline = m.result.error.toStdString();
        }
        rows.push_back(row);
    }

    std::printf("\nSummary (medians of %d repetitions; ratio = case / baseline)\n", Cases::kRepetitions);
    std::printf("%-52s %14s %18s %9s %16s %s\n", "case", "median", "baseline", "ratio", "target", "");
    std::printf("%s\n", std::string(120, '-').c_str());
    for (const Row &r : rows)
        std::printf("%-52s %14s %18s %9s %16s %s\n", r.label.c_str(), r.value.c_str(), r.baseline.c_str(),
                    r.ratio.c_str(), r.target.c_str(), r.verdict.c_str());
    for (const auto &[name, error] : reporter.errors())
        std::printf("error in %s: %s\n", name.c_str(), error.c_str());
    std::printf("\n%d target%s missed.\n", missed, missed == 1 ? "" : "s");
    return missed;
}

} // namespace Summary

#include "MonthEnd.h"

#include "ExportOutputs.h"
#include "Statistics.h"

#include <cstdio>

namespace bench {
namespace {

namespace fs = std::filesystem;

fs::path firstOutputOf(const MonthEndWay& way) {
    fs::path first = way.output;
    first += ".first";
    return first;
}

void clearOutput(const MonthEndWay& way) {
    fs::remove_all(way.output);
    if (way.outputIsFolder)
        fs::create_directories(way.output);
}

// Keeps the output of a way's first run, compares a later one with it; leaves no output behind.
void keepOrCompare(const MonthEndWay& way, MonthEndRuns& runs) {
    if (runs.runs.size() == 1) {
        fs::remove_all(runs.firstOutput);
        fs::rename(way.output, runs.firstOutput);
        return;
    }
    if (!sameOutput(way.output, runs.firstOutput))
        runs.sameEveryRun = false;
    fs::remove_all(way.output);
}

template <typename Field>
std::vector<double> collect(const std::vector<ChildRun>& runs, Field field) {
    std::vector<double> values;
    for (const ChildRun& run : runs)
        values.push_back(run.*field);
    return values;
}

} // namespace

double MonthEndRuns::minSeconds() const { return minimum(collect(runs, &ChildRun::ms)) / 1000; }
double MonthEndRuns::medianSeconds() const { return median(collect(runs, &ChildRun::ms)) / 1000; }
double MonthEndRuns::medianCpuSeconds() const { return median(collect(runs, &ChildRun::cpuSeconds)); }
double MonthEndRuns::heapMiB() const { return maximum(collect(runs, &ChildRun::heapMiB)); }
double MonthEndRuns::filePagesMiB() const { return maximum(collect(runs, &ChildRun::filePagesMiB)); }
double MonthEndRuns::peakMiB() const { return maximum(collect(runs, &ChildRun::peakMiB)); }

std::vector<MonthEndRuns> runInTurns(const std::vector<MonthEndWay>& ways, int rounds) {
    std::vector<MonthEndRuns> results(ways.size());
    for (std::size_t i = 0; i < ways.size(); ++i)
        results[i].firstOutput = firstOutputOf(ways[i]);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t turn = 0; turn < ways.size(); ++turn) {
            const std::size_t i = (static_cast<std::size_t>(round) + turn) % ways.size();
            clearOutput(ways[i]);
            results[i].runs.push_back(runChild(ways[i].command));
            std::fprintf(stderr, "  %s: %.2f s\n", ways[i].name.c_str(), results[i].runs.back().ms / 1000);
            keepOrCompare(ways[i], results[i]);
        }
    }
    return results;
}

} // namespace bench

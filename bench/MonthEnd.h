#pragma once

// The month-end export timed against other ways of writing the same bytes, each way run several times in
// turns, so that none always runs first, with a cold start, or right after the same other.

#include "ChildRun.h"

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// One way of writing the month-end output: a command that writes `output`, a folder (pelmarot-export's --out)
// or a file (the sqlite3 shell's standard output).
struct MonthEndWay {
    std::string name; // for the progress lines
    ChildCommand command;
    std::filesystem::path output;
    bool outputIsFolder = true;
};

// The runs of one way, and whether every run wrote the bytes of the first.
struct MonthEndRuns {
    std::vector<ChildRun> runs;
    std::filesystem::path firstOutput; // the first run's output, kept: "<output>.first"
    bool sameEveryRun = true;

    double minSeconds() const;
    double medianSeconds() const;
    double medianCpuSeconds() const;
    // The largest of all runs.
    double heapMiB() const;
    double filePagesMiB() const;
    double peakMiB() const;
};

// Runs every way `rounds` times; round r starts with way r (modulo their count) and goes on in their order
// (two ways: A B, B A, A B). Each run starts with its output removed; the first run's output is kept as
// "<output>.first" and every later one is compared with it byte for byte and removed. Progress goes to
// standard error, one line per run.
std::vector<MonthEndRuns> runInTurns(const std::vector<MonthEndWay>& ways, int rounds);

} // namespace bench

#pragma once

// Runs a program as a child process and measures it from outside: its wall time, its processor time and its
// memory, the kernel's peak and the heap and file pages sampled apart while it runs.

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct ChildCommand {
    ChildCommand(std::vector<std::string> arguments, std::vector<std::string> environment = {})
        : args(std::move(arguments)), env(std::move(environment)) {}
    ChildCommand& readingFrom(std::string file) {
        inputFile = std::move(file);
        return *this;
    }
    ChildCommand& writingTo(std::string file) {
        outputFile = std::move(file);
        return *this;
    }
    ChildCommand& accepting(std::vector<int> statuses) {
        acceptedStatuses = std::move(statuses);
        return *this;
    }

    std::vector<std::string> args; // args[0] is looked up in PATH
    std::vector<std::string> env;  // "NAME=value", added to the bench's own environment
    std::string inputFile;         // standard input when not empty
    std::string outputFile;        // standard output when not empty (created or truncated)
    std::vector<int> acceptedStatuses{0};
};

struct ChildRun {
    double ms = 0;           // from the fork to the child's end
    double cpuSeconds = 0;   // user and system time of the child and its threads
    double peakMiB = 0;      // the kernel's peak resident set (ru_maxrss): heap and file pages together
    double heapMiB = 0;      // the largest anonymous resident memory sampled (RssAnon)
    double filePagesMiB = 0; // the largest file-backed resident memory sampled (RssFile): mapped files, libraries
    // The "key value" lines the child printed, when its standard output did not go to a file.
    std::map<std::string, double> values;

    // REQUIRES: the child printed `key`; a missing key ends the bench with a message naming it.
    double value(const std::string& key) const;
};

// Runs the command to its end, reading /proc/PID/status every few milliseconds from the moment the program
// is running (not while the child is still a copy of the bench). Ends the bench with status 1, naming the
// command, when the program cannot be started or ends with a status not accepted.
ChildRun runChild(const ChildCommand& command);

// The child's side of ChildRun::values: prints "key value" on standard output.
void reportValue(const std::string& key, double value);

} // namespace bench

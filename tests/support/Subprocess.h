#pragma once

// A program run as a child process, the way the tests and the benchmarks both run the built tools: its
// environment and standard streams set up in the child, a failure to start it told to the parent, and its end
// waited for with the child's resource usage.

#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// What the child does between the fork and the program's start, in this order.
struct SubprocessSetup {
    std::vector<std::string> environment; // "NAME=value", set over the parent's environment
    std::string inputFile;                // standard input when not empty
    std::string outputFile;               // standard output when not empty (created or truncated)
    int outputDescriptor = -1;            // standard output when not negative (the writing end of a pipe)
    std::string errorsFile;               // standard error when not empty (created or truncated)
    // The termination signals (SIGINT, SIGTERM, SIGHUP, SIGXFSZ) at their default action and no signal blocked,
    // whatever the parent does with them.
    bool defaultSignals = false;
    std::function<void()> inChild; // last, just before the program starts (to set limits, say)
};

class Subprocess {
public:
    // Starts command[0] (looked up in PATH when it holds no "/") with the words after it as its arguments, and
    // returns once the program runs. Throws std::runtime_error "cannot run <command>: <reason>" when the setup
    // or the start fails.
    Subprocess(const std::vector<std::string>& command, const SubprocessSetup& setup);
    // A child still running is killed and reaped.
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    pid_t pid() const { return pid_; }
    // Whether the child still runs; a child that has ended is reaped.
    bool running();
    // Waits for the child's end and returns its wait status. `usage`, when given, receives the resource usage of
    // the child and its threads; REQUIRES: running() has not reaped the child then.
    int wait(rusage* usage = nullptr);
    // Kills the child (SIGKILL) and returns its wait status.
    int kill();

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The words of a command joined by blanks, as messages name it.
std::string commandText(const std::vector<std::string>& command);

} // namespace testsupport

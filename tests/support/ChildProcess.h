#pragma once

#include "support/Subprocess.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// Whether this build, and so the tools it runs, is under the address sanitizer (GCC says so one way, Clang
// another), which maps more address space than a limit of a test leaves.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// One of the built tools run as a child process: PELMAROT_ALIASES names the alias file, LC_ALL is C, standard
// error goes to a file and standard output to that file's name with ".out", and the termination signals have their
// default action and are not blocked, whatever the test program does with them. A child still running when the object
// goes is killed.
class ChildProcess {
public:
    // `inChild` runs in the child just before the program starts (to set limits or signal dispositions). Throws
    // std::runtime_error when the program cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& aliasFile,
                 std::string errorsFile, const std::function<void()>& inChild = {});

    pid_t pid() const { return process_->pid(); }
    bool running() { return process_->running(); }
    // The wait status. A child that has not ended within `limit` is killed and the test fails: a hang is a
    // failure, never a hung test run.
    int wait(std::chrono::seconds limit = std::chrono::seconds(120));
    std::string errors() const;
    std::string output() const;

private:
    std::string errorsFile_;
    std::unique_ptr<Subprocess> process_;
};

// What a tool run to its end through the shell said and gave.
struct ToolOutput {
    int status = -1; // the exit status; -1 when a signal ended it
    std::string out;
    std::string err;
};

// Runs a command line through the shell in the C locale, with no standard input, its standard output and
// error kept in files of `folder`; `outputRedirect` replaces the capture of standard output (">/dev/full").
ToolOutput runTool(const std::string& folder, const std::string& commandLine, const std::string& outputRedirect = "");

// The lines of a text, without their line ends.
std::vector<std::string> linesOf(const std::string& text);

// "exit status 1", "killed by Segmentation fault".
std::string describeStatus(int status);

// The path a PELMAROT_<TOOL>_EXE variable gives, or "" when the test runs outside ctest.
std::string toolPath(const char* variable);

} // namespace testsupport

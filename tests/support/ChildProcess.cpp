#include "support/ChildProcess.h"

#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

namespace testsupport {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& aliasFile, std::string errorsFile, const std::function<void()>& inChild)
    : errorsFile_(std::move(errorsFile)) {
    if (program.empty())
        throw std::runtime_error("no program to run: the PELMAROT_*_EXE variables come from ctest");
    std::vector<std::string> command = {program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    SubprocessSetup setup;
    setup.environment = {"PELMAROT_ALIASES=" + aliasFile, "LC_ALL=C"};
    setup.errorsFile = errorsFile_;
    setup.outputFile = errorsFile_ + ".out";
    setup.defaultSignals = true;
    setup.inChild = inChild;
    process_ = std::make_unique<Subprocess>(command, setup);
}

int ChildProcess::wait(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the program did not end within " << limit.count() << " s";
            return process_->kill();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return process_->wait();
}

std::string ChildProcess::errors() const { return readFile(errorsFile_); }

std::string ChildProcess::output() const { return readFile(errorsFile_ + ".out"); }

ToolOutput runTool(const std::string& folder, const std::string& commandLine, const std::string& outputRedirect) {
    const std::string out = folder + "/tool-out.txt", err = folder + "/tool-err.txt";
    std::remove(out.c_str());
    const std::string command = "LC_ALL=C " + commandLine + " " +
                                (outputRedirect.empty() ? ">" + out : outputRedirect) + " 2>" + err + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string describeStatus(int status) {
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("killed by ") + strsignal(WTERMSIG(status));
    return "status " + std::to_string(status);
}

std::string toolPath(const char* variable) {
    const char* path = std::getenv(variable);
    return path ? path : "";
}

} // namespace testsupport

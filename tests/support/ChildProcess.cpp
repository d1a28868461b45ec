#include "support/ChildProcess.h"

#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

[[noreturn]] void runInChild(const std::vector<std::string>& words, const std::string& aliasFile,
                             const std::string& errorsFile, const std::function<void()>& inChild) {
    setenv("PELMAROT_ALIASES", aliasFile.c_str(), 1);
    setenv("LC_ALL", "C", 1);
    const int errors = ::open(errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (errors < 0 || dup2(errors, STDERR_FILENO) < 0)
        _exit(120);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ})
        std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (inChild)
        inChild();
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(121);
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& aliasFile, std::string errorsFile, const std::function<void()>& inChild)
    : errorsFile_(std::move(errorsFile)) {
    if (program.empty())
        throw std::runtime_error("no program to run: the PELMAROT_*_EXE variables come from ctest");
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("cannot start " + program + ": fork failed");
    if (pid_ == 0)
        runInChild(words, aliasFile, errorsFile_, inChild);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::running() {
    int status = 0;
    if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = status;
    return !status_;
}

int ChildProcess::wait(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            status_ = status;
            ADD_FAILURE() << "the program did not end within " << limit.count() << " s";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return *status_;
}

std::string ChildProcess::errors() const { return readFile(errorsFile_); }

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

#include "support/Subprocess.h"

#include "files/FileDescriptor.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

// In the child: the setup and the program. A failure sends its errno through `report`, which closes unread when
// the program starts, and ends the child with 127.
[[noreturn]] void startInChild(const std::vector<char*>& argv, const SubprocessSetup& setup, int report) {
    const auto failWith = [report](int error) {
        [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
        ::_exit(127);
    };
    const auto redirect = [&](const std::string& file, int flags, int stream) {
        const int fd = ::open(file.c_str(), flags | O_CLOEXEC, 0644);
        if (fd < 0 || ::dup2(fd, stream) < 0)
            failWith(errno);
    };
    for (const auto& variable : setup.environment)
        ::putenv(const_cast<char*>(variable.c_str()));
    if (!setup.inputFile.empty())
        redirect(setup.inputFile, O_RDONLY, STDIN_FILENO);
    if (!setup.outputFile.empty())
        redirect(setup.outputFile, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
    else if (setup.outputDescriptor >= 0 && ::dup2(setup.outputDescriptor, STDOUT_FILENO) < 0)
        failWith(errno);
    if (!setup.errorsFile.empty())
        redirect(setup.errorsFile, O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
    if (setup.defaultSignals) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ})
            std::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
    }
    if (setup.inChild)
        setup.inChild();
    ::execvp(argv[0], argv.data());
    failWith(errno);
    ::_exit(127);
}

} // namespace

Subprocess::Subprocess(const std::vector<std::string>& command, const SubprocessSetup& setup) {
    if (command.empty())
        throw std::invalid_argument("a command needs a program");
    std::vector<char*> argv;
    for (const auto& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot run " + commandText(command) + ": " + std::strerror(errno));
    files::FileDescriptor reportRead(fds[0]), reportWrite(fds[1]);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("cannot run " + commandText(command) + ": " + std::strerror(errno));
    if (pid_ == 0)
        startInChild(argv, setup, reportWrite.get());
    reportWrite.reset();
    int error = 0;
    ssize_t got;
    do
        got = ::read(reportRead.get(), &error, sizeof error);
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        wait();
        throw std::runtime_error("cannot run " + commandText(command) + ": " + std::strerror(error));
    }
}

Subprocess::~Subprocess() {
    if (pid_ > 0 && !status_)
        kill();
}

bool Subprocess::running() {
    int status = 0;
    if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = status;
    return !status_;
}

int Subprocess::wait(rusage* usage) {
    if (status_)
        return *status_;
    int status = 0;
    while (::wait4(pid_, &status, 0, usage) < 0 && errno == EINTR) {
    }
    status_ = status;
    return status;
}

int Subprocess::kill() {
    if (running())
        ::kill(pid_, SIGKILL);
    return wait();
}

std::string commandText(const std::vector<std::string>& command) {
    std::string text;
    for (const auto& word : command)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

} // namespace testsupport

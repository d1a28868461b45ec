#include "ChildRun.h"

#include "files/FileDescriptor.h"
#include "support/Subprocess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace bench {
namespace {

using files::FileDescriptor;

using Clock = std::chrono::steady_clock;
constexpr int kSampleIntervalMs = 5;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::exit(1);
}

struct Pipe {
    FileDescriptor read, write;
};

Pipe makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        fail(std::string("cannot make a pipe: ") + std::strerror(errno));
    return {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

// RssAnon and RssFile of a running process, in MiB, raised into the maxima kept so far.
void sampleMemory(pid_t pid, ChildRun& run) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kilobytes = 0;
    while (status >> key) {
        if (key == "RssAnon:" && status >> kilobytes)
            run.heapMiB = std::max(run.heapMiB, static_cast<double>(kilobytes) / 1024.0);
        else if (key == "RssFile:" && status >> kilobytes)
            run.filePagesMiB = std::max(run.filePagesMiB, static_cast<double>(kilobytes) / 1024.0);
        status.ignore(1 << 20, '\n');
    }
}

// Appends what the pipe holds; false once the pipe is at its end.
bool readAvailable(const FileDescriptor& pipe, std::string& output) {
    char buffer[4096];
    const ssize_t n = ::read(pipe.get(), buffer, sizeof buffer);
    if (n > 0)
        output.append(buffer, static_cast<std::size_t>(n));
    return n > 0 || (n < 0 && errno == EINTR);
}

std::map<std::string, double> keyValues(const std::string& output) {
    std::map<std::string, double> values;
    std::istringstream lines(output);
    std::string line, key;
    double value = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        if (fields >> key >> value)
            values[key] = value;
    }
    return values;
}

// Waits for the child's end, reading its output and sampling its memory meanwhile; returns the time it ended.
Clock::time_point watchUntilEnd(pid_t pid, FileDescriptor& output, std::string& text, ChildRun& run) {
    const FileDescriptor ended(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!ended.valid())
        fail(std::string("cannot watch a child process: ") + std::strerror(errno));
    for (;;) {
        pollfd fds[2] = {{ended.get(), POLLIN, 0}, {output.get(), POLLIN, 0}};
        const int ready = ::poll(fds, output.valid() ? 2 : 1, kSampleIntervalMs);
        if (ready > 0 && (fds[0].revents & POLLIN) != 0)
            return Clock::now();
        sampleMemory(pid, run);
        if (ready > 0 && output.valid() && (fds[1].revents & (POLLIN | POLLHUP)) != 0 && !readAvailable(output, text))
            output.reset();
    }
}

} // namespace

double ChildRun::value(const std::string& key) const {
    const auto found = values.find(key);
    if (found == values.end())
        fail("a measure did not report " + key);
    return found->second;
}

void reportValue(const std::string& key, double value) { std::printf("%s %.6f\n", key.c_str(), value); }

ChildRun runChild(const ChildCommand& command) {
    Pipe output = makePipe();
    const auto start = Clock::now();
    testsupport::SubprocessSetup setup;
    setup.environment = command.env;
    setup.inputFile = command.inputFile;
    setup.outputFile = command.outputFile;
    setup.outputDescriptor = output.write.get();
    std::optional<testsupport::Subprocess> child;
    try {
        child.emplace(command.args, setup);
    } catch (const std::exception& e) {
        fail(e.what());
    }
    output.write.reset();
    if (!command.outputFile.empty())
        output.read.reset();

    ChildRun run;
    std::string text;
    const auto end = watchUntilEnd(child->pid(), output.read, text, run);
    rusage usage{};
    const int status = child->wait(&usage);
    while (output.read.valid() && readAvailable(output.read, text)) {
    }
    run.ms = std::chrono::duration<double, std::milli>(end - start).count();
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    const bool accepted =
        WIFEXITED(status) && std::find(command.acceptedStatuses.begin(), command.acceptedStatuses.end(),
                                       WEXITSTATUS(status)) != command.acceptedStatuses.end();
    if (!accepted)
        fail("failed (status " + std::to_string(status) + "): " + testsupport::commandText(command.args));
    run.values = keyValues(text);
    return run;
}

} // namespace bench

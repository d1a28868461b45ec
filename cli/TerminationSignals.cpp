#include "cli/TerminationSignals.h"

#include "files/TemporaryFileRegistry.h"

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

struct TerminationSignal {
    int number;
    const char* name;
};
constexpr TerminationSignal kTerminationSignals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};

// The termination signals the caller has not set to be ignored. On Linux a blocked signal is kept pending even
// when its action is to ignore it, so sigwait() would otherwise receive what the caller meant to be ignored.
sigset_t signalsToWaitFor() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const TerminationSignal& signal : kTerminationSignals) {
        struct sigaction action {};
        if (sigaction(signal.number, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
            sigaddset(&signals, signal.number);
    }
    return signals;
}

void writeToStandardError(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

InterruptionMessage interruptionMessage = nullptr;

std::string signalName(int number) {
    for (const TerminationSignal& signal : kTerminationSignals)
        if (signal.number == number)
            return signal.name;
    return "signal " + std::to_string(number);
}

[[noreturn]] void waitForTermination(sigset_t signals) {
    int number = 0;
    while (sigwait(&signals, &number) != 0) {
    }
    const std::size_t removed = files::TemporaryFileRegistry::instance().removeAllAndHold();
    // Holding the stream's lock keeps the workers' reports from following the message: it is the last line.
    flockfile(stderr);
    // On a terminal the progress line has no end yet.
    writeToStandardError(std::string(isatty(STDERR_FILENO) ? "\n" : "") +
                         interruptionMessage(signalName(number).c_str(), removed) + "\n");
    // _exit, not exit: the workers are still running, and exit handlers would pull their objects away.
    _exit(128 + number);
}

} // namespace

void installTerminationSignalHandling(InterruptionMessage message) {
    interruptionMessage = message;
    std::signal(SIGXFSZ, SIG_IGN);
    const sigset_t signals = signalsToWaitFor();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    try {
        std::thread(waitForTermination, signals).detach();
    } catch (const std::exception&) {
        // Without the waiting thread the signals must keep their default action rather than be lost.
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

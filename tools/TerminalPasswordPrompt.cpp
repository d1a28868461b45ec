#include "TerminalPasswordPrompt.h"

#include "engine/EngineError.h"
#include "files/FileDescriptor.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <set>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Writes all of text to the terminal; a failure shows in the read that follows.
void say(int terminal, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(terminal, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

// Turns the terminal's echo off for the object's life, and the keys that send signals (Ctrl+C, Ctrl+Backslash,
// Ctrl+Z) into plain input: a signal that ended the program while echo was off would leave the terminal silent.
class QuietTerminal {
public:
    explicit QuietTerminal(int terminal) : terminal_(terminal) {
        if (::tcgetattr(terminal_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ISIG);
        changed_ = ::tcsetattr(terminal_, TCSAFLUSH, &quiet) == 0;
    }
    ~QuietTerminal() {
        if (changed_)
            ::tcsetattr(terminal_, TCSAFLUSH, &saved_);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

    // Whether a typed character is one of the keys that would have sent a signal.
    bool isInterrupt(char c) const { return changed_ && isKey(c, VINTR); }
    bool isSignalKey(char c) const { return changed_ && (isKey(c, VINTR) || isKey(c, VQUIT) || isKey(c, VSUSP)); }

private:
    bool isKey(char c, int key) const {
        return saved_.c_cc[key] != _POSIX_VDISABLE && static_cast<cc_t>(c) == saved_.c_cc[key];
    }

    int terminal_;
    termios saved_{};
    bool changed_ = false;
};

// What was typed at the prompt: a line without its line end, or nothing at the end of input (Ctrl+D) or on a
// failure, or Ctrl+C.
struct Answer {
    std::optional<std::string> line;
    bool interrupted = false;
};

Answer readAnswer(int terminal, const QuietTerminal& quiet) {
    std::string line;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(terminal, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || quiet.isInterrupt(c)) {
            engine::wipePassword(line);
            return {std::nullopt, n > 0};
        }
        if (c == '\n' || c == '\r')
            return {std::move(line)};
        if (!quiet.isSignalKey(c)) // Ctrl+Backslash and Ctrl+Z do nothing here
            line += c;
    }
}

// Ctrl+C at the prompt, with the terminal as it was again: the program gets the SIGINT the key would have sent,
// and ends as it ends on any SIGINT. Where SIGINT is ignored the prompt gives nothing instead.
void interruptProgram() {
    struct sigaction action {};
    if (::sigaction(SIGINT, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
        return;
    ::kill(::getpid(), SIGINT);
    // The tools that write files take the signal in a thread of their own, which ends the process.
    std::this_thread::sleep_for(std::chrono::seconds(10));
}

} // namespace

engine::PasswordPrompt terminalPasswordPrompt(std::string program) {
    auto asked = std::make_shared<std::set<std::string>>();
    return [program = std::move(program), asked](const std::string& name) -> std::optional<std::string> {
        if (!asked->insert(name).second)
            return std::nullopt;
        const files::FileDescriptor terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!terminal.valid())
            throw engine::EngineError(name +
                                      " needs a password, and there is no terminal to ask for it on: give it in "
                                      "the alias's 'password' entry (in an alias file that only its owner can "
                                      "read), or run " +
                                      program + " on a terminal, where it asks for it");
        Answer answer;
        {
            // The question comes once the echo is off: what is typed from then on is not shown, nor discarded.
            const QuietTerminal quiet(terminal.get());
            say(terminal.get(), "Password for " + name + ": ");
            answer = readAnswer(terminal.get(), quiet);
        }
        say(terminal.get(), "\n");
        if (answer.interrupted)
            interruptProgram();
        return std::move(answer.line);
    };
}

#include "TerminalPasswordPrompt.h"

#include "engine/EngineError.h"
#include "files/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <set>
#include <termios.h>
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

// Turns the terminal's echo off for the object's life.
class EchoOff {
public:
    explicit EchoOff(int terminal) : terminal_(terminal) {
        if (::tcgetattr(terminal_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
        changed_ = ::tcsetattr(terminal_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (changed_)
            ::tcsetattr(terminal_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int terminal_;
    termios saved_{};
    bool changed_ = false;
};

// One line from the terminal without its line end; nullopt at the end of input (Ctrl+D) or on a failure.
std::optional<std::string> readLine(int terminal) {
    std::string line;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(terminal, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            engine::wipePassword(line);
            return std::nullopt;
        }
        if (c == '\n' || c == '\r')
            return line;
        line += c;
    }
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
        say(terminal.get(), "Password for " + name + ": ");
        std::optional<std::string> password;
        {
            const EchoOff quiet(terminal.get());
            password = readLine(terminal.get());
        }
        say(terminal.get(), "\n");
        return password;
    };
}

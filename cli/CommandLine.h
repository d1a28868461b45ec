#pragma once

#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// What every command-line tool of Pelmarot does the same way: options are read by one parser, a usage error is
// one line and a hint, never the whole help text; --help and --version go to standard output, and a failure to
// write them is a failure.
namespace commandline {

// An option a tool takes. Every option has a long name ("out" for --out); a short name ('o' for -o) is optional.
// An option that takes a value says what the value is ("a folder"): the message for a missing value names it.
struct Option {
    std::string_view longName;
    char shortName = 0;
    std::string_view value = {}; // empty: the option is a flag and takes no value
};

// A command line the tool cannot run. The message is the one line the user sees after the program's name.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command line read against a tool's options.
class CommandLine {
public:
    // Reads argv[1] to argv[argc - 1]. An option is "--name", "--name=value" or "--name value" (a long name may
    // be shortened to any prefix that names one option), "-x", "-xvalue" or "-x value", and flags may share one
    // word ("-qa"); the word after an option that takes a value is its value, whatever it begins with. Options
    // and operands may come in any order; "--" ends the options, and "-" is an operand. Throws UsageError for an
    // unknown or ambiguous option, a missing value or a value given to a flag.
    CommandLine(int argc, const char* const* argv, std::span<const Option> options);

    bool has(std::string_view longName) const;
    // The value given last for the option, or nothing when it was not given.
    std::optional<std::string> value(std::string_view longName) const;
    // The words that are not options, in their order.
    const std::vector<std::string>& operands() const { return operands_; }

private:
    struct Given {
        std::string_view longName;
        std::string value;
    };

    void readLong(std::string_view word, int& index, int argc, const char* const* argv);
    void readShort(std::string_view word, int& index, int argc, const char* const* argv);

    std::span<const Option> options_;
    std::vector<Given> given_;
    std::vector<std::string> operands_;
};

// What a tool's main does first, the same in every tool: reads the command line against `options`; answers
// --help with `usage` and, when the tool has the option "version", --version with versionText(); then lets
// `read` take the tool's own options and operands. Returns the exit status when the program should end at
// once: 0 (or 1) after --help or --version, 2 after a usage error, which `read` reports by throwing UsageError.
std::optional<int> readCommandLine(const char* program, std::string_view usage, int argc, const char* const* argv,
                                   std::span<const Option> options,
                                   const std::function<void(const CommandLine&)>& read);

// Prints "<program>: <message>" and "Try '<program> --help' for more information." on standard error and
// returns the exit status of bad usage, 2.
int usageError(const char* program, const std::string& message);

// Prints `text` on standard output and returns 0; when it cannot be written (a full disk, a closed pipe)
// says so on standard error and returns 1.
int printHelpOrVersion(const char* program, const std::string& text);

// "<program> <the project's version>\n", the version as CMake's project() gives it.
std::string versionText(const char* program);

} // namespace commandline

#include "cli/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace commandline {
namespace {

std::string needsValue(std::string_view typed, const Option& option) {
    return std::string(typed) + " needs " + std::string(option.value);
}

} // namespace

CommandLine::CommandLine(int argc, const char* const* argv, std::span<const Option> options) : options_(options) {
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view word = argv[index];
        if (optionsEnded || word.size() < 2 || word[0] != '-')
            operands_.emplace_back(word);
        else if (word == "--")
            optionsEnded = true;
        else if (word[1] == '-')
            readLong(word, index, argc, argv);
        else
            readShort(word, index, argc, argv);
    }
}

void CommandLine::readLong(std::string_view word, int& index, int argc, const char* const* argv) {
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(2, equals == std::string_view::npos ? word.npos : equals - 2);
    const Option* found = nullptr;
    std::vector<const Option*> prefixed;
    for (const Option& option : options_) {
        if (option.longName == name)
            found = &option;
        else if (!name.empty() && option.longName.starts_with(name))
            prefixed.push_back(&option);
    }
    if (found == nullptr && prefixed.size() == 1)
        found = prefixed.front();
    if (found == nullptr && prefixed.empty())
        throw UsageError("unknown option --" + std::string(name));
    if (found == nullptr) {
        std::string candidates;
        for (const Option* option : prefixed)
            candidates += (candidates.empty() ? "" : ", ") + ("--" + std::string(option->longName));
        throw UsageError("option --" + std::string(name) + " is ambiguous: " + candidates);
    }
    const std::string typed = "--" + std::string(found->longName);
    if (found->value.empty()) {
        if (equals != std::string_view::npos)
            throw UsageError(typed + " takes no value");
        given_.push_back({found->longName, {}});
    } else if (equals != std::string_view::npos) {
        given_.push_back({found->longName, std::string(word.substr(equals + 1))});
    } else if (index + 1 < argc) {
        given_.push_back({found->longName, argv[++index]});
    } else {
        throw UsageError(needsValue(typed, *found));
    }
}

void CommandLine::readShort(std::string_view word, int& index, int argc, const char* const* argv) {
    for (std::size_t position = 1; position < word.size(); ++position) {
        const char letter = word[position];
        const auto found = std::find_if(options_.begin(), options_.end(),
                                        [letter](const Option& option) { return option.shortName == letter; });
        const std::string typed = std::string("-") + letter;
        if (found == options_.end())
            throw UsageError("unknown option " + typed);
        if (found->value.empty()) {
            given_.push_back({found->longName, {}});
            continue;
        }
        // The rest of the word is the value ("-m5"), else the next word is.
        if (position + 1 < word.size())
            given_.push_back({found->longName, std::string(word.substr(position + 1))});
        else if (index + 1 < argc)
            given_.push_back({found->longName, argv[++index]});
        else
            throw UsageError(needsValue(typed, *found));
        return;
    }
}

bool CommandLine::has(std::string_view longName) const {
    return std::any_of(given_.begin(), given_.end(), [&](const Given& given) { return given.longName == longName; });
}

std::optional<std::string> CommandLine::value(std::string_view longName) const {
    const auto found =
        std::find_if(given_.rbegin(), given_.rend(), [&](const Given& given) { return given.longName == longName; });
    if (found == given_.rend())
        return std::nullopt;
    return found->value;
}

std::optional<int> readCommandLine(const char* program, std::string_view usage, int argc, const char* const* argv,
                                   std::span<const Option> options,
                                   const std::function<void(const CommandLine&)>& read) {
    try {
        const CommandLine commandLine(argc, argv, options);
        if (commandLine.has("help"))
            return printHelpOrVersion(program, std::string(usage));
        if (commandLine.has("version"))
            return printHelpOrVersion(program, versionText(program));
        read(commandLine);
        return std::nullopt;
    } catch (const UsageError& error) {
        return usageError(program, error.what());
    }
}

int usageError(const char* program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, message.c_str(), program);
    return 2;
}

int printHelpOrVersion(const char* program, const std::string& text) {
    errno = 0;
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written)
        return 0;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program,
                 errno ? std::strerror(errno) : "write error");
    return 1;
}

std::string versionText(const char* program) { return std::string(program) + " " + PELMAROT_VERSION + "\n"; }

} // namespace commandline

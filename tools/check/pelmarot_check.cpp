// pelmarot-check: reads a whole register and lists what makes a list or an export wrong or impossible.
#include "CheckReport.h"
#include "RegisterCheck.h"
#include "cli/CommandLine.h"
#include "engine/AliasFile.h"
#include "engine/Engine.h"
#include "tools/TerminalPasswordPrompt.h"

#include <charconv>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kProgram = "pelmarot-check";

constexpr const char* kUsage = "Usage: pelmarot-check [OPTION]... ALIAS\n"
                               "\n"
                               "Reads the whole register that ALIAS names (a Paradox folder, an SQLite file or\n"
                               "a PostgreSQL database) and lists, one line each,\n"
                               "\n"
                               "  table | row key | column | what is wrong | what the program does with it\n"
                               "\n"
                               "everything that makes a doctor list, an insured-person list or an export wrong\n"
                               "or impossible, kind by kind: tables that cannot be read; dates that cannot be\n"
                               "read; texts the alias's code page cannot hold; doctor codes that are another\n"
                               "doctor's code in the code page; doctor codes that cannot name a file (holding\n"
                               "\"/\" or a NUL byte, or empty); doctor codes in more than one row; persons\n"
                               "listed again with the same doctor; persons whose doctor is not in Lekari, or\n"
                               "inactive; BR_ODJ holding an empty text, which the lists take for deregistered;\n"
                               "flags stored as neither true nor false (1 or 0, t or f on PostgreSQL).\n"
                               "\n"
                               "A summary follows: the count of each kind, then the doctors, the active\n"
                               "doctors, the persons, the persons listed (not deregistered, with an active\n"
                               "doctor of Lekari) and those listed at 30%, 70% and 100%. The register is only\n"
                               "read.\n"
                               "\n"
                               "  -q, --quiet     the summary only\n"
                               "  -m, --max=N     at most N lines of each kind (default 20); the summary\n"
                               "                  counts all\n"
                               "  -h, --help      this text\n"
                               "  -V, --version   the program's version\n"
                               "\n"
                               "The alias comes from the alias file (PELMAROT_ALIASES,\n"
                               "~/.config/pelmarot/aliases.ini or /etc/pelmarot/aliases.ini; see\n"
                               "pelmarot-aliases(5)). On a terminal, standard error shows the rows read.\n"
                               "\n"
                               "Exit status: 0 when nothing was found, 1 when anything was found, 2 for bad\n"
                               "usage, 3 when the register cannot be read at all: the alias or its database\n"
                               "cannot be opened, or neither table can be read (standard error gives the\n"
                               "engine's message).\n";

struct Options {
    std::string alias;
    bool quiet = false;
    std::size_t max = 20;
};

constexpr commandline::Option kOptions[] = {
    {"quiet", 'q'}, {"max", 'm', "a number of lines"}, {"help", 'h'}, {"version", 'V'}};

// Reads the command line into options; returns the exit status when the program should end at once (--help,
// --version, bad usage).
std::optional<int> parseOptions(int argc, char** argv, Options& options) {
    return commandline::readCommandLine(kProgram, kUsage, argc, argv, kOptions, [&](const auto& commandLine) {
        options.quiet = commandLine.has("quiet");
        if (const std::optional<std::string> number = commandLine.value("max")) {
            const char* end = number->data() + number->size();
            const auto [last, error] = std::from_chars(number->data(), end, options.max);
            if (number->empty() || error != std::errc() || last != end)
                throw commandline::UsageError("--max needs a number of lines (0 or more), not '" + *number + "'");
        }
        const auto& aliases = commandLine.operands();
        if (aliases.size() != 1)
            throw commandline::UsageError(aliases.empty() ? "no alias given" : "give one alias");
        options.alias = aliases.front();
    });
}

// The rows read so far on one line of standard error, while it is a terminal.
class TerminalProgress {
public:
    explicit TerminalProgress(bool enabled) : enabled_(enabled) {}

    void show(std::string_view table, std::int64_t rows) {
        if (!enabled_)
            return;
        std::fprintf(stderr, "\r%.*s: %lld rows read   ", static_cast<int>(table.size()), table.data(),
                     static_cast<long long>(rows));
        std::fflush(stderr);
        shown_ = true;
    }

    void clear() {
        if (shown_)
            std::fprintf(stderr, "\r%60s\r", "");
        shown_ = false;
    }

private:
    bool enabled_;
    bool shown_ = false;
};

int check(const Options& options) {
    engine::Engine engine;
    engine.setPasswordPrompt(terminalPasswordPrompt(kProgram));
    const engine::AliasDefinition alias = engine.aliasDefinition(options.alias);
    const auto database = engine.openDatabase(options.alias);
    registercheck::RegisterCheck check(database->codePage(), registercheck::flagTextsOfDriver(alias.driver),
                                       options.quiet ? 0 : options.max);
    TerminalProgress progress(isatty(STDERR_FILENO) != 0);
    check.run(*database, [&](std::string_view table, std::int64_t rows) { progress.show(table, rows); });
    progress.clear();

    if (const auto messages = check.nothingReadMessages(); !messages.empty()) {
        for (const auto& message : messages)
            std::fprintf(stderr, "pelmarot-check: %s\n", message.c_str());
        return 3;
    }
    if (!options.quiet)
        registercheck::printFindings(stdout, check.findings());
    registercheck::printSummary(stdout, check.findings(), check.counts());
    return check.findings().total() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> status = parseOptions(argc, argv, options))
        return *status;
    try {
        return check(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "pelmarot-check: Out of memory while opening the register or writing the report\n");
        return 3;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelmarot-check: %s\n", e.what());
        return 3;
    }
}

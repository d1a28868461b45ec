// pelmarot-check: reads a whole register and lists what makes a list or an export wrong or impossible.
#include "CheckReport.h"
#include "RegisterCheck.h"
#include "engine/AliasFile.h"
#include "engine/Engine.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Usage: pelmarot-check [--quiet] [--max N] ALIAS\n"
    "\n"
    "Reads the whole register that ALIAS names (a Paradox folder, an SQLite file or a PostgreSQL database) and\n"
    "lists, one line each,\n"
    "\n"
    "  table | row key | column | what is wrong | what the program does with it\n"
    "\n"
    "everything that makes a doctor list, an insured-person list or an export wrong or impossible, kind by\n"
    "kind: tables that cannot be read; dates that cannot be read; texts the alias's code page cannot hold;\n"
    "doctor codes that are another doctor's code in the code page; doctor codes that cannot name a file\n"
    "(holding \"/\" or a NUL byte, or empty); doctor codes in more than one row; persons listed again with the\n"
    "same doctor; persons whose doctor is not in Lekari, or inactive; BR_ODJ holding an empty text, which the\n"
    "lists take for deregistered; flags stored as neither true nor false (1 or 0, t or f on PostgreSQL).\n"
    "\n"
    "A summary follows: the count of each kind, then the doctors, the active doctors, the persons, the persons\n"
    "listed (not deregistered, with an active doctor of Lekari) and those listed at 30%, 70% and 100%.\n"
    "The register is only read.\n"
    "\n"
    "  --quiet    the summary only\n"
    "  --max N    at most N lines of each kind (default 20); the summary counts all\n"
    "  --help     this text\n"
    "\n"
    "The alias comes from the engine's alias file (PELMAROT_ALIASES, ~/.config/pelmarot/aliases.ini or\n"
    "/etc/pelmarot/aliases.ini). On a terminal, standard error shows the rows read so far.\n"
    "\n"
    "Exit status: 0 when nothing was found, 1 when anything was found, 2 for bad usage, 3 when the register\n"
    "cannot be read at all: the alias or its database cannot be opened, or neither table can be read (standard\n"
    "error gives the engine's message).\n";

struct Options {
    std::string alias;
    bool quiet = false;
    std::size_t max = 20;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "pelmarot-check: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

// Reads the command line into options; returns the exit status when the program should end at once (--help,
// bad usage).
std::optional<int> parseOptions(int argc, char** argv, Options& options) {
    std::optional<std::string> alias;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--max") {
            const std::string number = i + 1 < argc ? argv[++i] : "";
            const char* end = number.data() + number.size();
            const auto [last, error] = std::from_chars(number.data(), end, options.max);
            if (number.empty() || error != std::errc() || last != end)
                return usageError("--max needs a number of lines (0 or more), not '" + number + "'");
        } else if (!arg.empty() && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (alias) {
            return usageError("give one alias, not '" + *alias + "' and '" + arg + "'");
        } else {
            alias = arg;
        }
    }
    if (!alias)
        return usageError("no alias given");
    options.alias = *alias;
    return std::nullopt;
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
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelmarot-check: %s\n", e.what());
        return 3;
    }
}

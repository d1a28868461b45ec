// pelmarot-copy: copies a register (the tables Lekari and Osigurenici) from one alias into an SQLite file or an
// empty PostgreSQL database named by another alias, then checks that the copy holds exactly what was read.
#include "RegisterCopy.h"
#include "RegisterWriter.h"
#include "cli/CommandLine.h"
#include "cli/TerminationSignals.h"
#include "engine/AliasFile.h"
#include "engine/Engine.h"
#include "tools/TerminalPasswordPrompt.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kProgram = "pelmarot-copy";

constexpr const char* kUsage = "Usage: pelmarot-copy [OPTION]... FROM_ALIAS TO_ALIAS\n"
                               "\n"
                               "Copies the tables Lekari and Osigurenici of the register that FROM_ALIAS names\n"
                               "(a Paradox folder, an SQLite file or a PostgreSQL database) into the SQLite\n"
                               "file or the empty PostgreSQL database that TO_ALIAS names, with the index on\n"
                               "Osigurenici.LEKAR_S, then reads the copy back and compares every row with what\n"
                               "was read. Text is copied exactly as it is stored (from Paradox, decoded from\n"
                               "the table's code page).\n"
                               "\n"
                               "A new SQLite file appears only once the copy is complete and checked. An\n"
                               "existing SQLite file gets the two tables next to its own in one transaction:\n"
                               "on any failure, interruption or kill it keeps exactly what it had. A\n"
                               "PostgreSQL copy is one transaction, rolled back on failure. Existing Lekari\n"
                               "or Osigurenici tables are never overwritten.\n"
                               "\n"
                               "  -q, --quiet     nothing on success: failures only\n"
                               "  -h, --help      this text\n"
                               "  -V, --version   the program's version\n"
                               "\n"
                               "Both aliases come from the alias file (PELMAROT_ALIASES,\n"
                               "~/.config/pelmarot/aliases.ini or /etc/pelmarot/aliases.ini; see\n"
                               "pelmarot-aliases(5)). A server's password comes from ~/.pgpass or PGPASSWORD.\n"
                               "\n"
                               "Exit status: 0 when the copy is complete and checked, 1 on any failure\n"
                               "(nothing is copied), 2 for bad usage, 128+N after signal N (SIGINT, SIGTERM,\n"
                               "SIGHUP).\n";

struct Options {
    std::string from;
    std::string to;
    bool quiet = false;
};

constexpr commandline::Option kOptions[] = {{"quiet", 'q'}, {"help", 'h'}, {"version", 'V'}};

// Reads the command line; returns the exit status when the program should end at once (--help, --version,
// bad usage).
std::optional<int> parseOptions(int argc, char** argv, Options& options) {
    return commandline::readCommandLine(kProgram, kUsage, argc, argv, kOptions, [&](const auto& commandLine) {
        options.quiet = commandLine.has("quiet");
        const auto& aliases = commandLine.operands();
        if (aliases.size() != 2)
            throw commandline::UsageError(aliases.size() < 2 ? "give the aliases to copy from and to"
                                                             : "more than two aliases given");
        options.from = aliases[0];
        options.to = aliases[1];
    });
}

std::string interruptionMessage(const char* signalName, std::size_t /*removedFiles*/) {
    return std::string("pelmarot-copy: interrupted by ") + signalName + "; nothing was copied";
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int copy(const Options& options) {
    const std::string& from = options.from;
    const std::string& to = options.to;
    const bool terminal = !options.quiet && isatty(STDERR_FILENO) != 0;
    const auto start = std::chrono::steady_clock::now();
    engine::Engine engine;
    engine.setPasswordPrompt(terminalPasswordPrompt(kProgram));
    auto source = engine.openDatabase(from);
    const engine::AliasDefinition targetAlias = engine.aliasDefinition(to);
    auto target = registercopy::RegisterWriter::forAlias(targetAlias);
    const auto progress = [&](std::string_view table, std::int64_t rows) {
        if (terminal)
            std::fprintf(stderr, "\r%.*s: %lld rows (%.0f rows/s)   ", static_cast<int>(table.size()), table.data(),
                         static_cast<long long>(rows), static_cast<double>(rows) / secondsSince(start));
    };
    const auto copies = registercopy::copyRegister(*source, *target, progress);
    if (terminal)
        std::fputc('\r', stderr);
    if (options.quiet)
        return 0;
    std::string summary;
    for (const auto& table : copies) {
        std::printf("%.*s: %lld rows copied; the copy holds the same rows (digest %s)\n",
                    static_cast<int>(table.table.size()), table.table.data(),
                    static_cast<long long>(table.stored.rows()), table.stored.text().c_str());
        summary += (summary.empty() ? "" : ", ") + std::string(table.table) + " " + std::to_string(table.read.rows());
    }
    std::printf("Copied %s rows from %s to %s in %.1f s; the copy holds exactly what was read.\n", summary.c_str(),
                from.c_str(), to.c_str(), secondsSince(start));
    if (source->readProtectedTable() && targetAlias.driver == "sqlite")
        std::printf("The tables of %s are protected by a password; the copy carries no password and is protected only "
                    "by the permissions of its file.\n",
                    from.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> status = parseOptions(argc, argv, options))
        return *status;
    installTerminationSignalHandling(interruptionMessage);
    try {
        return copy(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelmarot-copy: %s\n", e.what());
        return 1;
    }
}

// pelmarot-copy: copies a register (the tables Lekari and Osigurenici) from one alias into an SQLite file or an
// empty PostgreSQL database named by another alias, then checks that the copy holds exactly what was read.
#include "RegisterCopy.h"
#include "RegisterWriter.h"
#include "TerminationSignals.h"
#include "engine/AliasFile.h"
#include "engine/Engine.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Usage: pelmarot-copy FROM_ALIAS TO_ALIAS\n"
    "\n"
    "Copies the tables Lekari and Osigurenici of the register that FROM_ALIAS names (a Paradox folder, an\n"
    "SQLite file or a PostgreSQL database) into the SQLite file or the empty PostgreSQL database that TO_ALIAS\n"
    "names, creating the tables and the index on Osigurenici.LEKAR_S, and then reads the copy back and compares\n"
    "every row with what was read. Text is copied exactly as it is stored (from Paradox, decoded from the\n"
    "table's code page).\n"
    "\n"
    "A new SQLite file appears only once the copy is complete and checked. An existing SQLite file gets the\n"
    "two tables next to its own, in one transaction: on any failure, interruption or kill it keeps exactly what\n"
    "it had. A PostgreSQL copy is one transaction, rolled back on failure. Existing Lekari or Osigurenici\n"
    "tables are never overwritten.\n"
    "\n"
    "Both aliases come from the engine's alias file (PELMAROT_ALIASES, ~/.config/pelmarot/aliases.ini or\n"
    "/etc/pelmarot/aliases.ini). A server's password comes from ~/.pgpass or PGPASSWORD.\n"
    "\n"
    "Exit status: 0 when the copy is complete and checked, 1 on any failure (nothing is copied), 2 for bad\n"
    "usage.\n";

std::string interruptionMessage(const char* signalName, std::size_t /*removedFiles*/) {
    return std::string("pelmarot-copy: interrupted by ") + signalName + "; nothing was copied";
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int copy(const std::string& from, const std::string& to) {
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto start = std::chrono::steady_clock::now();
    engine::Engine engine;
    auto source = engine.openDatabase(from);
    auto target = registercopy::RegisterWriter::forAlias(engine.aliasDefinition(to));
    const auto progress = [&](std::string_view table, std::int64_t rows) {
        if (terminal)
            std::fprintf(stderr, "\r%.*s: %lld rows (%.0f rows/s)   ", static_cast<int>(table.size()), table.data(),
                         static_cast<long long>(rows), static_cast<double>(rows) / secondsSince(start));
    };
    const auto copies = registercopy::copyRegister(*source, *target, progress);
    if (terminal)
        std::fputc('\r', stderr);
    std::string summary;
    for (const auto& table : copies) {
        std::fprintf(stderr, "%.*s: %lld rows copied; the copy holds the same rows (digest %s)\n",
                     static_cast<int>(table.table.size()), table.table.data(),
                     static_cast<long long>(table.stored.rows()), table.stored.text().c_str());
        summary += (summary.empty() ? "" : ", ") + std::string(table.table) + " " + std::to_string(table.read.rows());
    }
    std::fprintf(stderr, "Copied %s rows from %s to %s in %.1f s; the copy holds exactly what was read.\n",
                 summary.c_str(), from.c_str(), to.c_str(), secondsSince(start));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    installTerminationSignalHandling(interruptionMessage);
    try {
        return copy(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelmarot-copy: %s\n", e.what());
        return 1;
    }
}

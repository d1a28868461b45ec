// pelmarot-copy: copies a register (the tables Lekari and Osigurenici) from one alias into a new SQLite file
// or an empty PostgreSQL database named by another alias, then checks the row counts.
#include "RegisterTables.h"
#include "RegisterWriter.h"
#include "engine/AliasFile.h"
#include "engine/Date.h"
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
    "SQLite file or a PostgreSQL database) into the new SQLite file or the empty PostgreSQL database that\n"
    "TO_ALIAS names, creating the tables and the index on Osigurenici.LEKAR_S, and checks the row counts.\n"
    "Both aliases come from the engine's alias file (PELMAROT_ALIASES, ~/.config/pelmarot/aliases.ini or\n"
    "/etc/pelmarot/aliases.ini). Existing tables are never overwritten. A server's password comes from\n"
    "~/.pgpass or PGPASSWORD.\n"
    "\n"
    "Exit status: 0 when the copy is complete and counted, 1 on any failure, 2 for bad usage.\n";

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto start = std::chrono::steady_clock::now();
    try {
        engine::Engine engine;
        auto source = engine.openDatabase(argv[1]);
        const engine::CodePage& codePage = source->codePage();
        auto target = registercopy::RegisterWriter::forAlias(engine.aliasDefinition(argv[2]));

        std::string summary;
        for (const auto& table : registercopy::registerTables()) {
            std::string select = "select ";
            for (std::size_t i = 0; i < table.columns.size(); ++i)
                select += (i ? ", " : "") + std::string(table.columns[i].name);
            auto cursor = source->execute(select + " from " + std::string(table.name), {});
            target->beginTable(table);
            std::vector<registercopy::Value> row(table.columns.size());
            std::int64_t copied = 0;
            while (cursor->next()) {
                for (std::size_t i = 0; i < table.columns.size(); ++i) {
                    if (cursor->isBlank(i)) {
                        row[i].reset();
                        continue;
                    }
                    switch (table.columns[i].kind) {
                    case registercopy::ColumnKind::Text:
                        row[i] = codePage.toUtf8(cursor->text(i));
                        break;
                    case registercopy::ColumnKind::Boolean:
                        row[i] = cursor->boolean(i) ? "1" : "0";
                        break;
                    case registercopy::ColumnKind::Date:
                        row[i] = engine::isoDateText(cursor->date(i));
                        break;
                    }
                }
                target->addRow(row);
                if (++copied % 50000 == 0 && terminal)
                    std::fprintf(stderr, "\r%s: %lld rows (%.0f rows/s)   ", std::string(table.name).c_str(),
                                 static_cast<long long>(copied), static_cast<double>(copied) / secondsSince(start));
            }
            const std::int64_t counted = target->endTable(table);
            if (terminal)
                std::fputc('\r', stderr);
            std::fprintf(stderr, "%s: %lld rows copied, %lld counted in the target\n", std::string(table.name).c_str(),
                         static_cast<long long>(copied), static_cast<long long>(counted));
            if (counted != copied)
                throw std::runtime_error("the row counts of " + std::string(table.name) + " differ");
            summary += (summary.empty() ? "" : ", ") + std::string(table.name) + " " + std::to_string(copied);
        }
        target->finish();
        std::fprintf(stderr, "Copied %s rows from %s to %s in %.1f s; the counts match.\n", summary.c_str(), argv[1],
                     argv[2], secondsSince(start));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelmarot-copy: %s\n", e.what());
        return 1;
    }
}

#include "BareReload.h"

#include "engine/SqliteHandles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::filesystem::path& database, sqlite3* db) {
    std::fprintf(stderr, "bench: %s: %s\n", database.c_str(), db ? sqlite3_errmsg(db) : "cannot open");
    std::exit(1);
}

engine::SqliteConnection openAsTheProgramDoes(const std::filesystem::path& database) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    engine::SqliteConnection db(raw);
    if (rc != SQLITE_OK || sqlite3_exec(db.get(), "PRAGMA mmap_size = 0; PRAGMA cache_size = -16384", nullptr, nullptr,
                                        nullptr) != SQLITE_OK)
        fail(database, db.get());
    return db;
}

// Steps through every row, reading each column's text; returns the rows and adds the text lengths to `bytes`.
long long readAllRows(sqlite3_stmt* statement, long long& bytes) {
    long long rows = 0;
    const int columns = sqlite3_column_count(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column)
            if (sqlite3_column_text(statement, column) != nullptr)
                bytes += sqlite3_column_bytes(statement, column);
        ++rows;
    }
    return rows;
}

} // namespace

BareReloads bareReloads(const std::filesystem::path& database, const std::vector<std::string>& doctors) {
    const engine::SqliteConnection db = openAsTheProgramDoes(database);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), "select * from osigurenici where lekar_s = ? and br_odj is null", -1, &raw,
                           nullptr) != SQLITE_OK)
        fail(database, db.get());
    const engine::SqliteStatement statement(raw);
    BareReloads result;
    for (const std::string& doctor : doctors) {
        const auto start = Clock::now();
        sqlite3_bind_text(statement.get(), 1, doctor.data(), static_cast<int>(doctor.size()), SQLITE_STATIC);
        result.rows += readAllRows(statement.get(), result.textBytes);
        sqlite3_reset(statement.get());
        result.milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return result;
}

long long bareScan(const std::filesystem::path& database, long long& textBytes) {
    const engine::SqliteConnection db = openAsTheProgramDoes(database);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), "select * from osigurenici where br_odj is null", -1, &raw, nullptr) != SQLITE_OK)
        fail(database, db.get());
    const engine::SqliteStatement statement(raw);
    return readAllRows(statement.get(), textBytes);
}

} // namespace bench

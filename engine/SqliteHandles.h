#pragma once

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace engine {

// Closes an SQLite connection once its last statement is finalized; for shared_ptr and unique_ptr.
struct SqliteConnectionCloser {
    void operator()(sqlite3* db) const;
};
struct SqliteStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const;
};

using SqliteConnection = std::unique_ptr<sqlite3, SqliteConnectionCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

} // namespace engine

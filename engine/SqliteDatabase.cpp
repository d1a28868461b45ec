#include "engine/SqliteDatabase.h"

#include "engine/EngineError.h"
#include "engine/SqliteCursor.h"

#include <filesystem>
#include <sqlite3.h>

namespace engine {
namespace {

using ConnectionHandle = std::unique_ptr<sqlite3, SqliteConnectionCloser>;

class SqliteDatabase final : public Database {
public:
    SqliteDatabase(std::shared_ptr<sqlite3> db, std::string path, const CodePage& codePage)
        : db_(std::move(db)), path_(std::move(path)), codePage_(codePage) {}

    std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) override {
        return executeOnSqlite(db_, sql, parameters, codePage_, path_);
    }

    const CodePage& codePage() const override { return codePage_; }

private:
    std::shared_ptr<sqlite3> db_;
    std::string path_;
    const CodePage& codePage_;
};

} // namespace

std::unique_ptr<Database> openSqliteDatabase(const AliasDefinition& alias, const CodePage& codePage) {
    const std::string path = alias.resolvedPath();
    const std::string where = "alias '" + alias.name + "' in " + alias.sourceFile;
    if (path.empty())
        throw EngineError("The " + where + " has no 'path' entry naming the database file");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw EngineError("Database file " + path + " does not exist (" + where + ")");
    if (std::filesystem::is_directory(path, ec))
        throw EngineError("Database file " + path + " is a folder, not an SQLite file (" + where + ")");

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    ConnectionHandle handle(raw);
    if (rc != SQLITE_OK)
        throw EngineError({"Cannot open the database file " + path, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)});
    // Wait for another program's write to finish rather than fail at once; never write.
    sqlite3_busy_timeout(handle.get(), 5000);
    char* error = nullptr;
    if (sqlite3_exec(handle.get(), "PRAGMA query_only = 1; PRAGMA mmap_size = 1073741824; SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                     &error) != SQLITE_OK) {
        const std::string reason = error ? error : "unknown error";
        sqlite3_free(error);
        throw EngineError({"Cannot open the database file " + path, reason == "file is not a database"
                                                                        ? "The file is not an SQLite database"
                                                                        : reason});
    }
    return std::make_unique<SqliteDatabase>(std::shared_ptr<sqlite3>(handle.release(), SqliteConnectionCloser{}), path,
                                            codePage);
}

} // namespace engine

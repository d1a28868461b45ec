#include "engine/SqliteDatabase.h"

#include "engine/EngineError.h"
#include "engine/SqlDialect.h"
#include "engine/Text.h"

#include <filesystem>
#include <sqlite3.h>

namespace engine {
namespace {

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using ConnectionHandle = std::unique_ptr<sqlite3, ConnectionCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Maps a declared column type to the engine's type by SQLite's own affinity words.
ColumnType columnTypeOf(const char* declared) {
    if (declared == nullptr)
        return ColumnType::Unknown;
    const std::string type = toLower(declared);
    const auto has = [&](const char* word) { return type.find(word) != std::string::npos; };
    if (has("bool"))
        return ColumnType::Boolean;
    if (has("date"))
        return ColumnType::Date;
    if (has("int"))
        return ColumnType::Integer;
    if (has("char") || has("text") || has("clob"))
        return ColumnType::String;
    if (has("real") || has("floa") || has("doub") || has("num") || has("dec"))
        return ColumnType::Float;
    return ColumnType::Unknown;
}

bool isAscii(const unsigned char* text, int length) {
    for (int i = 0; i < length; ++i)
        if (text[i] >= 0x80)
            return false;
    return true;
}

class SqliteCursor final : public Cursor {
public:
    SqliteCursor(std::shared_ptr<sqlite3> db, StatementHandle statement, const CodePage& codePage)
        : db_(std::move(db)), statement_(std::move(statement)), codePage_(codePage) {
        const int count = sqlite3_column_count(statement_.get());
        for (int i = 0; i < count; ++i)
            columns_.push_back(ColumnInfo{sqlite3_column_name(statement_.get(), i),
                                          columnTypeOf(sqlite3_column_decltype(statement_.get(), i))});
        converted_.resize(columns_.size());
    }

    const std::vector<ColumnInfo>& columns() const override { return columns_; }

    bool next() override {
        const int rc = sqlite3_step(statement_.get());
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw EngineError(sqlite3_errmsg(db_.get()));
    }

    bool isBlank(std::size_t column) override { return typeOf(column) == SQLITE_NULL; }

    std::string_view text(std::size_t column) override {
        const int c = static_cast<int>(column);
        const auto* bytes = sqlite3_column_text(statement_.get(), c);
        const int length = sqlite3_column_bytes(statement_.get(), c);
        if (bytes == nullptr)
            return {};
        const std::string_view utf8(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        if (isAscii(bytes, length))
            return utf8;
        converted_[column] = codePage_.fromUtf8(utf8);
        return converted_[column];
    }

    bool boolean(std::size_t column) override {
        const int c = static_cast<int>(column);
        if (typeOf(column) == SQLITE_TEXT) {
            const std::string_view value = text(column);
            return equalsIgnoreCase(value, "true") || equalsIgnoreCase(value, "t") ||
                   sqlite3_column_int64(statement_.get(), c) != 0;
        }
        return sqlite3_column_int64(statement_.get(), c) != 0;
    }

    DayNumber date(std::size_t column) override {
        const std::string_view value = text(column);
        // Accept "YYYY-MM-DD" and a timestamp that starts with it.
        if (value.size() >= 10 && (value.size() == 10 || value[10] == ' ' || value[10] == 'T'))
            if (const auto day = parseIsoDate(value.substr(0, 10)))
                return *day;
        throw EngineError("Invalid date '" + std::string(value) + "' in column " + columns_[column].name);
    }

    std::int64_t integer(std::size_t column) override {
        return sqlite3_column_int64(statement_.get(), static_cast<int>(column));
    }

private:
    int typeOf(std::size_t column) { return sqlite3_column_type(statement_.get(), static_cast<int>(column)); }

    std::shared_ptr<sqlite3> db_;
    StatementHandle statement_;
    const CodePage& codePage_;
    std::vector<ColumnInfo> columns_;
    std::vector<std::string> converted_;
};

class SqliteDatabase final : public Database {
public:
    SqliteDatabase(std::shared_ptr<sqlite3> db, std::string path, const CodePage& codePage)
        : db_(std::move(db)), path_(std::move(path)), codePage_(codePage) {}

    std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) override {
        const std::string text = toStandardSql(sql);
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_.get(), text.c_str(), static_cast<int>(text.size()), &raw, nullptr) != SQLITE_OK)
            throw EngineError(explainPrepareFailure(sqlite3_errmsg(db_.get())));
        StatementHandle statement(raw);
        if (!sqlite3_stmt_readonly(statement.get()))
            throw EngineError("The statement would change the database " + path_ +
                              ", which this program only reads");
        const int expected = sqlite3_bind_parameter_count(statement.get());
        if (expected != static_cast<int>(parameters.size()))
            throw EngineError("The statement has " + std::to_string(expected) + " parameters, " +
                              std::to_string(parameters.size()) + " given");
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const std::string utf8 = codePage_.toUtf8(parameters[i]);
            sqlite3_bind_text(statement.get(), static_cast<int>(i + 1), utf8.data(), static_cast<int>(utf8.size()),
                              SQLITE_TRANSIENT);
        }
        return std::make_unique<SqliteCursor>(db_, std::move(statement), codePage_);
    }

    const CodePage& codePage() const override { return codePage_; }

private:
    // SQLite says "no such table: X"; the user is told which database lacks it.
    std::string explainPrepareFailure(const std::string& message) const {
        const std::string prefix = "no such table: ";
        if (message.rfind(prefix, 0) == 0)
            return "Table '" + message.substr(prefix.size()) + "' does not exist in the database " + path_;
        const std::string columnPrefix = "no such column: ";
        if (message.rfind(columnPrefix, 0) == 0)
            return "Column '" + message.substr(columnPrefix.size()) + "' does not exist in the database " + path_;
        return message;
    }

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
    return std::make_unique<SqliteDatabase>(std::shared_ptr<sqlite3>(handle.release(), ConnectionCloser{}), path,
                                            codePage);
}

} // namespace engine

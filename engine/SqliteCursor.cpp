#include "engine/SqliteCursor.h"

#include "engine/EngineError.h"
#include "engine/SqlDialect.h"
#include "engine/Text.h"

#include <sqlite3.h>

namespace engine {
namespace {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

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
                                          columnTypeOfDeclared(sqlite3_column_decltype(statement_.get(), i))});
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

// SQLite says "no such table: X"; the user is told which database lacks it. A table that cannot be written
// (a virtual table) is refused in the same words as a statement that would write.
std::string explainPrepareFailure(const std::string& message, const std::string& databaseName) {
    const std::string readOnlySuffix = " may not be modified";
    if (message.rfind("table ", 0) == 0 && message.size() > readOnlySuffix.size() &&
        message.compare(message.size() - readOnlySuffix.size(), readOnlySuffix.size(), readOnlySuffix) == 0)
        return "The statement would change the database " + databaseName + ", which this program only reads";
    const std::string prefix = "no such table: ";
    if (message.rfind(prefix, 0) == 0)
        return "Table '" + message.substr(prefix.size()) + "' does not exist in the database " + databaseName;
    const std::string columnPrefix = "no such column: ";
    if (message.rfind(columnPrefix, 0) == 0)
        return "Column '" + message.substr(columnPrefix.size()) + "' does not exist in the database " + databaseName;
    return message;
}

// The table a failed prepare misses, or "" when it failed for another reason.
std::string missingTableOf(const std::string& message) {
    const std::string prefix = "no such table: ";
    if (message.rfind(prefix, 0) != 0)
        return {};
    std::string name = message.substr(prefix.size());
    if (name.rfind("main.", 0) == 0)
        name.erase(0, 5);
    return name;
}

} // namespace

void SqliteConnectionCloser::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

ColumnType columnTypeOfDeclared(const char* declared) {
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

std::unique_ptr<Cursor> executeOnSqlite(const std::shared_ptr<sqlite3>& db, std::string_view sql,
                                        const std::vector<std::string>& parameters, const CodePage& codePage,
                                        const std::string& databaseName,
                                        const MissingTableProvider& provideMissingTable) {
    const std::string text = toStandardSql(sql);
    StatementHandle statement;
    // Each round may add one missing table; a statement names only so many tables.
    for (int round = 0;; ++round) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db.get(), text.c_str(), static_cast<int>(text.size()), &raw, nullptr) == SQLITE_OK) {
            statement.reset(raw);
            break;
        }
        const std::string message = sqlite3_errmsg(db.get());
        const std::string missing = missingTableOf(message);
        if (missing.empty() || !provideMissingTable || round >= 64 || !provideMissingTable(missing))
            throw EngineError(explainPrepareFailure(message, databaseName));
    }
    if (!statement) // an empty statement or only a comment
        throw EngineError("The statement is empty");
    if (!sqlite3_stmt_readonly(statement.get()))
        throw EngineError("The statement would change the database " + databaseName +
                          ", which this program only reads");
    const int expected = sqlite3_bind_parameter_count(statement.get());
    if (expected != static_cast<int>(parameters.size()))
        throw EngineError("The statement has " + std::to_string(expected) + " parameters, " +
                          std::to_string(parameters.size()) + " given");
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string utf8 = codePage.toUtf8(parameters[i]);
        sqlite3_bind_text(statement.get(), static_cast<int>(i + 1), utf8.data(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    return std::make_unique<SqliteCursor>(db, std::move(statement), codePage);
}

} // namespace engine

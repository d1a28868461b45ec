#include "engine/SqliteCursor.h"

#include "engine/CellText.h"
#include "engine/EngineError.h"
#include "engine/ReadAhead.h"
#include "engine/SqlDialect.h"
#include "engine/Text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <mutex>
#include <optional>
#include <sqlite3.h>

namespace engine {
namespace {

// The statement stepped on the caller's thread: the values are read from the statement itself.
class SteppedRows {
public:
    SteppedRows(std::shared_ptr<sqlite3> db, SqliteStatement statement, std::unique_ptr<StepWatch> watch)
        : db_(std::move(db)), statement_(std::move(statement)), watch_(std::move(watch)),
          values_(static_cast<std::size_t>(sqlite3_column_count(statement_.get()))) {}

    sqlite3_stmt* statement() const { return statement_.get(); }

    bool next() {
        const int rc = sqlite3_step(statement_.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            const std::string message = sqlite3_errmsg(db_.get());
            if (watch_)
                watch_->failedStep(sqlite3_extended_errcode(db_.get()), message);
            throw EngineError(message);
        }
        const bool more = rc == SQLITE_ROW;
        if (watch_ && (!stepped_ || !more))
            watch_->stepped(!stepped_, more);
        stepped_ = true;
        // Each value is taken from the statement once; its type, number and text are then cheap to read.
        if (more)
            for (std::size_t c = 0; c < values_.size(); ++c)
                values_[c] = sqlite3_column_value(statement_.get(), static_cast<int>(c));
        return more;
    }

    int type(std::size_t column) const { return sqlite3_value_type(value(column)); }
    // The value in UTF-8 as SQLite gives it (a number as its text); "" for a blank.
    std::string_view text(std::size_t column) const {
        sqlite3_value* v = value(column);
        const auto* bytes = sqlite3_value_text(v);
        if (bytes == nullptr)
            return {};
        return std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_value_bytes(v)));
    }
    std::int64_t integer(std::size_t column) const { return sqlite3_value_int64(value(column)); }
    double real(std::size_t column) const { return sqlite3_value_double(value(column)); }
    // The day of a date column's text, when it was worked out before; here it never is.
    std::optional<DayNumber> knownDay(std::size_t) const { return std::nullopt; }

private:
    sqlite3_value* value(std::size_t column) const { return values_[column]; }

    std::shared_ptr<sqlite3> db_;
    SqliteStatement statement_;
    std::unique_ptr<StepWatch> watch_;
    bool stepped_ = false;
    std::vector<sqlite3_value*> values_; // of the current row; valid until the next step
};

// Rows copied out of a statement, so that they can be read after it moved on: each value's type, its number
// and its text as SteppedRows gives them.
class CapturedRows {
public:
    explicit CapturedRows(std::vector<ColumnType> types) : types_(std::move(types)), integerTexts_(types_.size()) {}

    std::size_t rowCount() const { return values_.size() / types_.size(); }
    void clear() {
        values_.clear();
        bytes_.clear();
    }

    // Copies the statement's current row.
    void capture(const SteppedRows& rows) {
        for (std::size_t c = 0; c < types_.size(); ++c) {
            Value& value = values_.emplace_back();
            value.type = rows.type(c);
            switch (value.type) {
            case SQLITE_NULL:
                break;
            case SQLITE_INTEGER:
                value.integer = rows.integer(c);
                break;
            case SQLITE_FLOAT:
                value.integer = rows.integer(c);
                value.real = rows.real(c);
                keepText(value, rows.text(c));
                break;
            default:
                // A number is read from a text only where the column may hold numbers; a date column's text is
                // read as a day here, on the reading thread, which has time to spare.
                if (types_[c] == ColumnType::Integer || types_[c] == ColumnType::Unknown)
                    value.integer = rows.integer(c);
                keepText(value, rows.text(c));
                if (types_[c] == ColumnType::Date)
                    value.day = dayOfDateText(std::string_view(bytes_).substr(value.begin, value.end - value.begin));
                break;
            }
        }
    }

    int type(std::size_t row, std::size_t column) const { return at(row, column).type; }
    std::string_view text(std::size_t row, std::size_t column) const {
        const Value& value = at(row, column);
        if (value.type == SQLITE_INTEGER) {
            // SQLite writes an integer as plain decimal digits, as to_chars does. Each column has a buffer of its
            // own: the text stays valid while the row's other columns are read.
            auto& buffer = integerTexts_[column];
            const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value.integer).ptr;
            return std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
        }
        return std::string_view(bytes_).substr(value.begin, value.end - value.begin);
    }
    std::int64_t integer(std::size_t row, std::size_t column) const { return at(row, column).integer; }
    std::optional<DayNumber> knownDay(std::size_t row, std::size_t column) const { return at(row, column).day; }
    double real(std::size_t row, std::size_t column) const {
        const Value& value = at(row, column);
        return value.type == SQLITE_INTEGER ? static_cast<double>(value.integer) : value.real;
    }

private:
    struct Value {
        int type = SQLITE_NULL;
        std::int64_t integer = 0;
        double real = 0;
        std::size_t begin = 0; // the text in bytes_
        std::size_t end = 0;
        std::optional<DayNumber> day; // a date column's text as a day, when it is one
    };

    void keepText(Value& value, std::string_view text) {
        value.begin = bytes_.size();
        bytes_.append(text);
        value.end = bytes_.size();
    }
    const Value& at(std::size_t row, std::size_t column) const { return values_[row * types_.size() + column]; }

    std::vector<ColumnType> types_;
    std::vector<Value> values_;
    std::string bytes_;
    mutable std::vector<std::array<char, 24>> integerTexts_;
};

// The statement stepped on a thread of its own, a batch of rows ahead of the caller.
class RowsReadAhead {
public:
    // The reading thread uses the object where it stands: it never moves.
    RowsReadAhead(const RowsReadAhead&) = delete;
    RowsReadAhead& operator=(const RowsReadAhead&) = delete;

    RowsReadAhead(SteppedRows stepped, const std::vector<ColumnType>& types) : stepped_(std::move(stepped)) {
        std::vector<std::unique_ptr<CapturedRows>> batches;
        for (int i = 0; i < kBatches; ++i)
            batches.push_back(std::make_unique<CapturedRows>(types));
        reading_.emplace(
            [this](CapturedRows& batch) {
                for (std::size_t n = 0; n < kBatchRows; ++n) {
                    if (!stepped_.next())
                        return false;
                    batch.capture(stepped_);
                }
                return true;
            },
            [](CapturedRows& batch) { batch.clear(); }, std::move(batches), "pelmarot-read");
    }

    bool next() {
        if (batch_ && ++row_ < batch_->rowCount())
            return true;
        row_ = 0;
        while ((batch_ = reading_->next()) != nullptr)
            if (batch_->rowCount() > 0)
                return true;
        return false;
    }

    int type(std::size_t column) const { return batch_->type(row_, column); }
    std::string_view text(std::size_t column) const { return batch_->text(row_, column); }
    std::int64_t integer(std::size_t column) const { return batch_->integer(row_, column); }
    double real(std::size_t column) const { return batch_->real(row_, column); }
    std::optional<DayNumber> knownDay(std::size_t column) const { return batch_->knownDay(row_, column); }

private:
    static constexpr int kBatches = 4;
    static constexpr std::size_t kBatchRows = 1024;

    SteppedRows stepped_;
    // Stopped before the statement goes.
    std::optional<ReadAhead<CapturedRows>> reading_;
    CapturedRows* batch_ = nullptr;
    std::size_t row_ = 0;
};

// A result over rows stepped here or read ahead (Rows: SteppedRows or RowsReadAhead).
template <class Rows>
class SqliteCursor final : public Cursor {
public:
    template <class... RowsArguments>
    SqliteCursor(std::vector<ColumnInfo> columns, const CodePage& codePage, RowsArguments&&... rows)
        : columns_(std::move(columns)), rows_(std::forward<RowsArguments>(rows)...), texts_(codePage, columns_.size()) {
    }

    const std::vector<ColumnInfo>& columns() const override { return columns_; }

    bool next() override { return rows_.next(); }

    bool isBlank(std::size_t column) override {
        const int type = rows_.type(column);
        return type == SQLITE_NULL ||
               (type == SQLITE_TEXT && columns_[column].type == ColumnType::Date && rows_.text(column).empty());
    }

    std::string_view text(std::size_t column) override { return texts_.convert(column, rows_.text(column)); }
    bool textIsExact(std::size_t column) override { return texts_.exact(column); }
    std::string storedText(std::size_t column) override { return std::string(rows_.text(column)); }

    bool boolean(std::size_t column) override {
        switch (rows_.type(column)) {
        case SQLITE_INTEGER:
            return rows_.integer(column) != 0;
        case SQLITE_FLOAT:
            return rows_.real(column) != 0;
        case SQLITE_NULL:
            return false;
        default:
            return booleanOfColumnText(rows_.text(column), columns_[column].name);
        }
    }

    DayNumber date(std::size_t column) override {
        if (const std::optional<DayNumber> day = rows_.knownDay(column))
            return *day;
        return dayOfColumnText(rows_.text(column), columns_[column].name);
    }

    std::int64_t integer(std::size_t column) override { return rows_.integer(column); }

private:
    std::vector<ColumnInfo> columns_;
    Rows rows_;
    RowTexts texts_;
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

void prepareSqliteLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

void SqliteConnectionCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void SqliteStatementFinalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

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
                                        const MissingTableProvider& provideMissingTable,
                                        std::unique_ptr<StepWatch> watch, Reading reading) {
    const std::string text = toStandardSql(sql);
    SqliteStatement statement;
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
    std::vector<ColumnInfo> columns;
    std::vector<ColumnType> types;
    for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
        columns.push_back(ColumnInfo{sqlite3_column_name(statement.get(), i),
                                     columnTypeOfDeclared(sqlite3_column_decltype(statement.get(), i))});
        types.push_back(columns.back().type);
    }
    SteppedRows stepped(db, std::move(statement), std::move(watch));
    if (reading == Reading::Ahead)
        return std::make_unique<SqliteCursor<RowsReadAhead>>(std::move(columns), codePage, std::move(stepped), types);
    return std::make_unique<SqliteCursor<SteppedRows>>(std::move(columns), codePage, std::move(stepped));
}

} // namespace engine

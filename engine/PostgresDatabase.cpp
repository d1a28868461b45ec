#include "engine/PostgresDatabase.h"

#include "engine/CellText.h"
#include "engine/EngineError.h"
#include "engine/SqlDialect.h"
#include "engine/Text.h"

#include <libpq-fe.h>
#include <set>

namespace engine {
namespace {

struct ConnectionFinisher {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ConnectionHandle = std::unique_ptr<PGconn, ConnectionFinisher>;
using ResultHandle = std::unique_ptr<PGresult, ResultClearer>;

// Type OIDs of the server's built-in types (pg_type.h).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat4 = 700, kFloat8 = 701,
              kBpchar = 1042, kVarchar = 1043, kDate = 1082, kNumeric = 1700, kName = 19;

ColumnType columnTypeOf(Oid type) {
    switch (type) {
    case kBool:
        return ColumnType::Boolean;
    case kDate:
        return ColumnType::Date;
    case kInt2:
    case kInt4:
    case kInt8:
        return ColumnType::Integer;
    case kText:
    case kBpchar:
    case kVarchar:
    case kName:
        return ColumnType::String;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return ColumnType::Float;
    default:
        return ColumnType::Unknown;
    }
}

// The server's messages end with a line feed and may hold several lines; the engine's are one per line.
std::vector<std::string> messageLines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\n') {
            if (!trimmed(line).empty())
                lines.push_back(trimmed(line));
            line.clear();
        } else {
            line += *p;
        }
    }
    if (!trimmed(line).empty())
        lines.push_back(trimmed(line));
    if (lines.empty())
        lines.emplace_back("The PostgreSQL server gave no reason");
    return lines;
}

// "?" parameters become "$1", "$2", ... outside quotes.
std::string toNumberedParameters(const std::string& sql) {
    std::string out;
    char quote = 0;
    int number = 0;
    for (char c : sql) {
        if (quote) {
            if (c == quote)
                quote = 0;
            out += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            out += c;
        } else if (c == '?') {
            out += '$' + std::to_string(++number);
        } else {
            out += c;
        }
    }
    return out;
}

// Rows arrive one at a time (libpq's single-row mode), so a large result never sits in memory whole. The
// cursor owns the connection's pending query and reads the query's remaining results when it goes; a newer
// statement on the same database ends it (next() then says there are no more rows).
class PostgresCursor final : public Cursor {
public:
    PostgresCursor(PGconn* connection, ResultHandle first, const CodePage& codePage,
                   std::shared_ptr<const std::uint64_t> generation)
        : connection_(connection), current_(std::move(first)), codePage_(codePage), generation_(std::move(generation)),
          statement_(*generation_), texts_(codePage, static_cast<std::size_t>(PQnfields(current_.get()))) {
        const int count = PQnfields(current_.get());
        for (int i = 0; i < count; ++i)
            columns_.push_back(ColumnInfo{PQfname(current_.get(), i), columnTypeOf(PQftype(current_.get(), i))});
        pendingFirst_ = PQresultStatus(current_.get()) == PGRES_SINGLE_TUPLE;
        if (!pendingFirst_)
            finishQuery();
    }
    ~PostgresCursor() override { finishQuery(); }

    const std::vector<ColumnInfo>& columns() const override { return columns_; }

    bool next() override {
        if (pendingFirst_) {
            pendingFirst_ = false;
            return true;
        }
        if (done_ || *generation_ != statement_) {
            done_ = true;
            return false;
        }
        current_.reset(PQgetResult(connection_));
        if (current_ && PQresultStatus(current_.get()) == PGRES_SINGLE_TUPLE)
            return true;
        if (current_ && PQresultStatus(current_.get()) != PGRES_TUPLES_OK) {
            const std::vector<std::string> lines = messageLines(PQresultErrorMessage(current_.get()));
            finishQuery();
            throw EngineError(lines);
        }
        finishQuery();
        return false;
    }

    bool isBlank(std::size_t column) override { return PQgetisnull(current_.get(), 0, index(column)) != 0; }

    std::string_view text(std::size_t column) override { return texts_.convert(column, stored(column)); }
    bool textIsExact(std::size_t column) override { return texts_.exact(column); }
    std::string storedText(std::size_t column) override { return std::string(stored(column)); }

    bool boolean(std::size_t column) override {
        if (const auto value = booleanOfText(stored(column)))
            return *value;
        throw EngineError(invalidValueMessage("boolean", stored(column), columns_[column].name));
    }

    DayNumber date(std::size_t column) override {
        if (const auto day = dayOfDateText(stored(column)))
            return *day;
        throw EngineError(invalidValueMessage("date", stored(column), columns_[column].name));
    }

    std::int64_t integer(std::size_t column) override {
        return std::strtoll(PQgetvalue(current_.get(), 0, index(column)), nullptr, 10);
    }

private:
    static int index(std::size_t column) { return static_cast<int>(column); }

    // The value as the server sent it, in UTF-8.
    std::string_view stored(std::size_t column) const {
        return std::string_view(PQgetvalue(current_.get(), 0, index(column)),
                                static_cast<std::size_t>(PQgetlength(current_.get(), 0, index(column))));
    }

    // Reads what is left of the query so the connection is free for the next statement.
    void finishQuery() {
        if (done_ || *generation_ != statement_) {
            done_ = true;
            return;
        }
        done_ = true;
        while (PGresult* rest = PQgetResult(connection_))
            PQclear(rest);
    }

    PGconn* connection_;
    ResultHandle current_;
    const CodePage& codePage_;
    std::shared_ptr<const std::uint64_t> generation_;
    std::uint64_t statement_;
    bool pendingFirst_ = false;
    bool done_ = false;
    std::vector<ColumnInfo> columns_;
    RowTexts texts_;
};

class PostgresDatabase final : public Database {
public:
    PostgresDatabase(ConnectionHandle connection, std::string name, const CodePage& codePage)
        : connection_(std::move(connection)), name_(std::move(name)), codePage_(codePage) {}

    // REQUIRES: the cursor of the previous statement is gone (the lists close before they open again).
    std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) override {
        const std::string text = toNumberedParameters(toStandardSql(sql));
        std::vector<std::string> utf8;
        for (const auto& p : parameters)
            utf8.push_back(codePage_.toUtf8(p));
        std::vector<const char*> values;
        for (const auto& p : utf8)
            values.push_back(p.c_str());

        // A cursor still reading the previous statement gives up the connection.
        ++*generation_;
        drain();
        if (PQstatus(connection_.get()) != CONNECTION_OK)
            reconnect();
        ResultHandle first = start(text, values);
        if (!succeeded(first)) {
            std::vector<std::string> lines = failureLines(first);
            const bool lost = connectionLost(first);
            drain();
            // The server restarted or the connection dropped since the last statement: connect again, once.
            if (!lost && PQstatus(connection_.get()) != CONNECTION_BAD)
                throw EngineError(lines);
            reconnect();
            first = start(text, values);
            if (!succeeded(first)) {
                lines = failureLines(first);
                drain();
                throw EngineError(lines);
            }
        }
        return std::make_unique<PostgresCursor>(connection_.get(), std::move(first), codePage_, generation_);
    }

    const CodePage& codePage() const override { return codePage_; }

private:
    // Sends the statement in single-row mode and returns its first result (a row, or the end of an empty
    // result, or the failure).
    ResultHandle start(const std::string& text, const std::vector<const char*>& values) {
        if (!PQsendQueryParams(connection_.get(), text.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                               nullptr, nullptr, 0))
            return nullptr;
        PQsetSingleRowMode(connection_.get());
        return ResultHandle(PQgetResult(connection_.get()));
    }

    std::vector<std::string> failureLines(const ResultHandle& result) const {
        const char* reason = result ? PQresultErrorMessage(result.get()) : "";
        return messageLines(*reason ? reason : PQerrorMessage(connection_.get()));
    }

    // Whether a failure says the session is gone: the connection broke, or the server ended the session
    // (SQLSTATE class 08, or 57P01-57P03 when an administrator or a crash shut the server down).
    bool connectionLost(const ResultHandle& result) const {
        if (!result || PQstatus(connection_.get()) == CONNECTION_BAD)
            return true;
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        if (state == nullptr)
            return false;
        const std::string code(state);
        return code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" || code == "57P03";
    }

    // Reads and drops what is left of the previous statement's results.
    void drain() {
        while (PGresult* rest = PQgetResult(connection_.get()))
            PQclear(rest);
    }

    static bool succeeded(const ResultHandle& result) {
        if (!result)
            return false;
        const ExecStatusType status = PQresultStatus(result.get());
        return status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK;
    }

    void reconnect() {
        PQreset(connection_.get());
        if (PQstatus(connection_.get()) != CONNECTION_OK) {
            std::vector<std::string> lines = {"Lost the connection to the PostgreSQL database " + name_};
            for (auto& line : messageLines(PQerrorMessage(connection_.get())))
                lines.push_back(line);
            throw EngineError(lines);
        }
    }

    ConnectionHandle connection_;
    std::string name_;
    const CodePage& codePage_;
    // Counts the statements; a cursor of an older statement no longer reads the connection.
    std::shared_ptr<std::uint64_t> generation_ = std::make_shared<std::uint64_t>(0);
};

} // namespace

std::unique_ptr<Database> openPostgresDatabase(const AliasDefinition& alias, const CodePage& codePage,
                                               const PasswordPrompt& askPassword) {
    static const std::set<std::string> kEngineEntries = {"path", "codepage"};
    std::vector<std::string> keys;
    std::vector<std::string> values;
    for (const auto& [key, value] : alias.entries) {
        if (kEngineEntries.contains(key))
            continue;
        keys.push_back(key);
        values.push_back(value);
    }
    // Text in UTF-8, dates as ISO text, and a session in which no transaction can write.
    keys.emplace_back("client_encoding");
    values.emplace_back("UTF8");
    keys.emplace_back("options");
    values.emplace_back("-c default_transaction_read_only=on -c DateStyle=ISO");
    keys.emplace_back("application_name");
    values.emplace_back("pelmarot");
    const std::string name = alias.entry("dbname", alias.entry("user", "postgres")) + " (alias '" + alias.name +
                             "' in " + alias.sourceFile + ")";

    std::optional<std::string> password;
    for (;;) {
        std::vector<const char*> keyPointers;
        std::vector<const char*> valuePointers;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            keyPointers.push_back(keys[i].c_str());
            valuePointers.push_back(values[i].c_str());
        }
        if (password) {
            keyPointers.push_back("password");
            valuePointers.push_back(password->c_str());
        }
        keyPointers.push_back(nullptr);
        valuePointers.push_back(nullptr);
        ConnectionHandle connection(PQconnectdbParams(keyPointers.data(), valuePointers.data(), 0));
        if (!connection)
            throw EngineError("Out of memory while connecting to the PostgreSQL database " + name);
        if (PQstatus(connection.get()) == CONNECTION_OK)
            return std::make_unique<PostgresDatabase>(std::move(connection), name, codePage);

        std::vector<std::string> lines = {"Cannot connect to the PostgreSQL database " + name};
        for (auto& line : messageLines(PQerrorMessage(connection.get())))
            lines.push_back(line);
        // The server wants a password the alias and ~/.pgpass do not give (or the one given was wrong):
        // ask the user, and let the engine's error through when the user cancels.
        if ((PQconnectionNeedsPassword(connection.get()) || (password && PQconnectionUsedPassword(connection.get()))) &&
            askPassword) {
            password = askPassword(alias.entry("dbname", alias.name));
            if (password)
                continue;
        }
        throw EngineError(lines);
    }
}

} // namespace engine

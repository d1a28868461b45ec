#include "engine/PostgresDatabase.h"

#include "engine/CellText.h"
#include "engine/EngineError.h"
#include "engine/PostgresCopyCursor.h"
#include "engine/PostgresSession.h"
#include "engine/SqlDialect.h"
#include "engine/Text.h"

#include <algorithm>

namespace engine {
namespace {

// Type OIDs of the server's built-in types (pg_type.h).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat4 = 700, kFloat8 = 701, kBpchar = 1042,
              kVarchar = 1043, kDate = 1082, kNumeric = 1700, kName = 19;

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

// Rows arrive one at a time (libpq's single-row mode), so a large result never sits in memory whole. The
// cursor reads the results of its own statement only; a newer statement on the same session ends it (next()
// then says there are no more rows) and reads what is left of it.
class PostgresCursor final : public Cursor {
public:
    PostgresCursor(std::shared_ptr<PostgresSession> session, ResultHandle first, const CodePage& codePage)
        : session_(std::move(session)), current_(std::move(first)), codePage_(codePage),
          statement_(session_->statementNumber()),
          texts_(codePage, static_cast<std::size_t>(PQnfields(current_.get()))) {
        const int count = PQnfields(current_.get());
        for (int i = 0; i < count; ++i)
            columns_.push_back(ColumnInfo{PQfname(current_.get(), i), columnTypeOf(PQftype(current_.get(), i))});
        pendingFirst_ = PQresultStatus(current_.get()) == PGRES_SINGLE_TUPLE;
        if (!pendingFirst_)
            finishQuery();
    }

    const std::vector<ColumnInfo>& columns() const override { return columns_; }

    bool next() override {
        if (pendingFirst_) {
            pendingFirst_ = false;
            return true;
        }
        if (done_ || session_->statementNumber() != statement_) {
            done_ = true;
            return false;
        }
        current_ = session_->nextResult();
        if (current_ && PQresultStatus(current_.get()) == PGRES_SINGLE_TUPLE)
            return true;
        if (current_ && PQresultStatus(current_.get()) != PGRES_TUPLES_OK) {
            const std::vector<std::string> lines = messageLines(PQresultErrorMessage(current_.get()));
            finishQuery();
            session_->noteFailure(lines);
            throw EngineError(lines);
        }
        finishQuery();
        return false;
    }

    bool isBlank(std::size_t column) override { return PQgetisnull(current_.get(), 0, index(column)) != 0; }

    std::string_view text(std::size_t column) override { return texts_.convert(column, stored(column)); }
    bool textIsExact(std::size_t column) override { return texts_.exact(column); }
    std::string storedText(std::size_t column) override { return std::string(stored(column)); }

    bool boolean(std::size_t column) override { return booleanOfColumnText(stored(column), columns_[column].name); }
    DayNumber date(std::size_t column) override { return dayOfColumnText(stored(column), columns_[column].name); }

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

    // Reads what is left of the query so the connection is free for the next statement. A cursor that goes
    // before its last row leaves the rest to the next statement, which reads it first.
    void finishQuery() {
        const bool mine = !done_ && session_->statementNumber() == statement_;
        done_ = true;
        if (mine)
            session_->discardResults();
    }

    std::shared_ptr<PostgresSession> session_;
    ResultHandle current_;
    const CodePage& codePage_;
    std::uint64_t statement_;
    bool pendingFirst_ = false;
    bool done_ = false;
    std::vector<ColumnInfo> columns_;
    RowTexts texts_;
};

class PostgresDatabase final : public Database {
public:
    PostgresDatabase(std::shared_ptr<PostgresSession> session, const CodePage& codePage)
        : session_(std::move(session)), codePage_(codePage) {}

    // A statement the server refuses because the session has gone (a restart, a dropped connection) is sent
    // once more on a new connection. A server that does not answer in time is not tried again.
    std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) override {
        const std::string text = toNumberedParameters(toStandardSql(sql));
        std::vector<std::string> utf8;
        for (const auto& p : parameters)
            utf8.push_back(codePage_.toUtf8(p));
        std::vector<const char*> values;
        for (const auto& p : utf8)
            values.push_back(p.c_str());

        session_->endStatement();
        // A consistent read lives in its session: a new connection would read another state.
        if (const std::string lost = consistentReadLost(); !lost.empty())
            throw EngineError(lost);
        if (!session_->connected())
            session_->reconnect();
        ResultHandle first = start(text, values);
        if (!succeeded(first)) {
            std::vector<std::string> lines = failureLines(first);
            const bool lost = connectionLost(first);
            session_->discardResults();
            if (!lost || inConsistentRead_)
                throw EngineError(lines);
            session_->reconnect();
            first = start(text, values);
            if (!succeeded(first)) {
                lines = failureLines(first);
                session_->discardResults();
                throw EngineError(lines);
            }
        }
        return std::make_unique<PostgresCursor>(session_, std::move(first), codePage_);
    }

    const CodePage& codePage() const override { return codePage_; }

    // One COPY of the rows whose blank column is null, streamed, in the table's physical order: a sequential scan
    // from the table's first block, since every session turns synchronised and parallel scans off (see
    // postgresSettings). The statement of one key delivers that key's rows in the same order whichever way the
    // server reads them: a sequential scan for the same reason, an index (whose entries of one key stand in the
    // order of the rows' places, ctid, from PostgreSQL 12 on) or a bitmap of one (in the order of the places).
    // nullptr for names that are not plain identifiers, a server older than 12, and a key column of type character
    // (blank-padded: its equality ignores trailing blanks, which the caller's routing by exact text would not).
    std::unique_ptr<Cursor> readInKeyOrder(std::string_view table, std::string_view keyColumn,
                                           std::string_view blankColumn) override {
        if (!isPlainIdentifier(table) || !isPlainIdentifier(keyColumn) || !isPlainIdentifier(blankColumn))
            return nullptr;
        startStatement();
        if (session_->serverVersion() < kOrderedDuplicatesVersion)
            return nullptr;
        const std::string from = toLower(table);
        std::vector<ColumnInfo> columns;
        if (!keyIsExactText(from, toLower(keyColumn), columns))
            return nullptr;
        const std::string copy =
            "COPY (SELECT * FROM " + from + " WHERE " + toLower(blankColumn) + " IS NULL) TO STDOUT";
        const ResultHandle first = session_->sendCopy(copy) ? session_->nextResult() : nullptr;
        if (!first || PQresultStatus(first.get()) != PGRES_COPY_OUT) {
            std::vector<std::string> lines = failureLines(first);
            session_->discardResults();
            throw EngineError(lines);
        }
        return std::make_unique<PostgresCopyCursor>(session_, std::move(columns), codePage_);
    }

    // The planner's count of the table's rows (pg_class.reltuples), for progress.
    std::optional<std::int64_t> estimatedRows(std::string_view table) override {
        const auto cursor = execute("select reltuples::bigint from pg_class where oid = to_regclass(?)",
                                    {codePage_.fromUtf8(toLower(table))});
        if (!cursor->next() || cursor->isBlank(0) || cursor->integer(0) < 0)
            return std::nullopt;
        return cursor->integer(0);
    }

    void beginConsistentRead() override {
        session_->endStatement();
        if (!session_->connected())
            session_->reconnect();
        command("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
        session_->noteFailure({}); // what failed before this read is no cause of its failures
        inConsistentRead_ = true;
    }

    void endConsistentRead() noexcept override {
        if (!inConsistentRead_)
            return;
        inConsistentRead_ = false;
        try {
            if (session_->connected())
                command("COMMIT");
        } catch (const EngineError&) {
            // A session that cannot end its read-only transaction has nothing to lose; the next statement
            // connects again.
        }
    }

    std::string consistentReadLost() const override {
        if (!inConsistentRead_)
            return {};
        const PGTransactionStatusType status = session_->transactionStatus();
        if (status == PQTRANS_ACTIVE || status == PQTRANS_INTRANS)
            return {};
        // What failed says so first (a server that did not answer, a read the server cancelled): that is what the
        // user must hear of.
        std::string why;
        for (const auto& line : session_->lastFailure())
            why += line + "\n";
        if (status == PQTRANS_INERROR)
            return why + "The transaction that reads the PostgreSQL database " + session_->name() +
                   " in one state failed; nothing more can be read in that state";
        return why + "Lost the connection to the PostgreSQL database " + session_->name() +
               " while reading it in one state; nothing more can be read in that state";
    }

private:
    static constexpr int kOrderedDuplicatesVersion = 120000;

    static bool isPlainIdentifier(std::string_view name) {
        return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        }) && !(name.front() >= '0' && name.front() <= '9');
    }

    // Ends the previous statement and makes sure there is a connection, as execute() does before its statement;
    // within a consistent read a lost session is an error.
    void startStatement() {
        session_->endStatement();
        if (const std::string lost = consistentReadLost(); !lost.empty())
            throw EngineError(lost);
        if (!session_->connected())
            session_->reconnect();
    }

    // The table's columns, read from an empty result of it; false when the key column is not of type text or
    // varchar.
    bool keyIsExactText(const std::string& table, const std::string& keyColumn, std::vector<ColumnInfo>& columns) {
        const ResultHandle probe =
            session_->send("select * from " + table + " limit 0", {}) ? session_->nextResult() : nullptr;
        if (!succeeded(probe)) {
            std::vector<std::string> lines = failureLines(probe);
            session_->discardResults();
            throw EngineError(lines);
        }
        bool exactText = false;
        for (int i = 0; i < PQnfields(probe.get()); ++i) {
            const Oid type = PQftype(probe.get(), i);
            columns.push_back(ColumnInfo{PQfname(probe.get(), i), columnTypeOf(type)});
            if (equalsIgnoreCase(columns.back().name, keyColumn))
                exactText = type == kText || type == kVarchar;
        }
        session_->discardResults();
        return exactText;
    }

    // Runs a statement that returns no rows. Throws EngineError with the server's message.
    void command(const char* sql) {
        session_->endStatement();
        ResultHandle result = start(sql, {});
        const bool ok = result && PQresultStatus(result.get()) == PGRES_COMMAND_OK;
        std::vector<std::string> lines = ok ? std::vector<std::string>{} : failureLines(result);
        session_->discardResults();
        if (!ok)
            throw EngineError(lines);
    }

    bool inConsistentRead_ = false;

    // Sends the statement and returns its first result (a row, or the end of an empty result, or the failure).
    ResultHandle start(const std::string& text, const std::vector<const char*>& values) {
        if (!session_->send(text, values))
            return nullptr;
        return session_->nextResult();
    }

    // The failure's message, noted in the session so that what cannot be read after it can say why.
    std::vector<std::string> failureLines(const ResultHandle& result) const {
        const char* reason = result ? PQresultErrorMessage(result.get()) : "";
        std::vector<std::string> lines = messageLines(*reason ? reason : session_->errorMessage().c_str());
        session_->noteFailure(lines);
        return lines;
    }

    // Whether a failure says the session is gone: the connection broke, or the server ended the session
    // (SQLSTATE class 08, or 57P01-57P03 when an administrator or a crash shut the server down).
    bool connectionLost(const ResultHandle& result) const {
        if (!result || !session_->connected())
            return true;
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        if (state == nullptr)
            return false;
        const std::string code(state);
        return code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" || code == "57P03";
    }

    static bool succeeded(const ResultHandle& result) {
        if (!result)
            return false;
        const ExecStatusType status = PQresultStatus(result.get());
        return status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK;
    }

    // Shared with the cursors, which may outlive the database.
    std::shared_ptr<PostgresSession> session_;
    const CodePage& codePage_;
};

} // namespace

std::unique_ptr<Database> openPostgresDatabase(const AliasDefinition& alias, const CodePage& codePage,
                                               const PasswordPrompt& askPassword) {
    auto session =
        std::make_shared<PostgresSession>(postgresSettings(alias), askPassword, alias.entry("dbname", alias.name));
    return std::make_unique<PostgresDatabase>(std::move(session), codePage);
}

} // namespace engine

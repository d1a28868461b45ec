#include "RegisterWriter.h"

#include "engine/PostgresSession.h"
#include "engine/PostgresSettings.h"

#include <chrono>
#include <stdexcept>
#include <string>

namespace registercopy {
namespace {

// COPY's text format: a backslash, tab, newline and carriage return are escaped; NULL is \N.
void appendCopyValue(std::string& line, const Value& value) {
    if (!value) {
        line += "\\N";
        return;
    }
    for (const char c : *value) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

class PostgresWriter final : public RegisterWriter {
public:
    // The alias's own settings (timeouts, keepalives, UTF-8, ISO dates); the session is read-only by default,
    // so the transaction asks to write.
    explicit PostgresWriter(const engine::AliasDefinition& alias) {
        const engine::PostgresSettings settings = engine::postgresSettings(alias);
        name_ = "the PostgreSQL database " + settings.name;
        std::vector<const char*> keys, values;
        for (std::size_t i = 0; i < settings.keys.size(); ++i) {
            keys.push_back(settings.keys[i].c_str());
            values.push_back(settings.values[i].c_str());
        }
        keys.push_back(nullptr);
        values.push_back(nullptr);
        timeout_ = settings.timeout;
        connection_.reset(PQconnectdbParams(keys.data(), values.data(), 0));
        if (PQstatus(connection_.get()) != CONNECTION_OK)
            fail("cannot connect");
        // No call waits for the server longer than the alias's timeout (see awaitServer).
        PQsetnonblocking(connection_.get(), 1);
        command("BEGIN READ WRITE");
    }

    void beginTable(const engine::RegisterTable& table) override {
        const std::string tableName(table.name);
        const char* parameter = tableName.c_str();
        if (!PQsendQueryParams(connection_.get(), "SELECT 1 FROM pg_tables WHERE lower(tablename) = lower($1)", 1,
                               nullptr, &parameter, nullptr, nullptr, 0))
            fail("cannot read the tables");
        const engine::ResultHandle probe = lastResult();
        if (PQresultStatus(probe.get()) != PGRES_TUPLES_OK)
            fail("cannot read the tables", probe.get());
        if (PQntuples(probe.get()) > 0)
            throw std::runtime_error(name_ + " already has a table " + tableName + "; nothing was copied");
        command(engine::createTableStatement(table, engine::SqlStore::Postgres));
        const engine::ResultHandle copy = execute("COPY " + tableName + " FROM STDIN");
        if (PQresultStatus(copy.get()) != PGRES_COPY_IN)
            fail("cannot start COPY", copy.get());
        buffer_.clear();
    }

    void addRow(const std::vector<Value>& row) override {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                buffer_ += '\t';
            appendCopyValue(buffer_, row[i]);
        }
        buffer_ += '\n';
        if (buffer_.size() >= (1 << 20))
            flush();
    }

    ContentDigest endTable(const engine::RegisterTable& table) override {
        flush();
        int ended = 0;
        while ((ended = PQputCopyEnd(connection_.get(), nullptr)) == 0)
            await(false);
        if (ended != 1)
            fail("cannot end COPY");
        const engine::ResultHandle result = lastResult();
        const bool ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK;
        const std::string message = reasonOf(result.get());
        if (!ok)
            throw std::runtime_error(name_ + ": " + message + "; nothing was copied");
        return readBack(table);
    }

    void finish() override {
        command(engine::createIndexStatement());
        command("COMMIT");
    }

private:
    // The table as the server now holds it, fetched in batches through a cursor of the same transaction.
    ContentDigest readBack(const engine::RegisterTable& table) {
        command("DECLARE copied NO SCROLL CURSOR FOR " + engine::selectAllStatement(table));
        ContentDigest digest;
        std::vector<Value> row(table.columns.size());
        for (;;) {
            const engine::ResultHandle batch = execute("FETCH FORWARD 20000 FROM copied");
            if (PQresultStatus(batch.get()) != PGRES_TUPLES_OK)
                fail("cannot read the copy back", batch.get());
            const int rows = PQntuples(batch.get());
            if (rows == 0)
                break;
            for (int r = 0; r < rows; ++r) {
                for (std::size_t i = 0; i < row.size(); ++i) {
                    const int c = static_cast<int>(i);
                    if (PQgetisnull(batch.get(), r, c)) {
                        row[i].reset();
                        continue;
                    }
                    const std::string value(PQgetvalue(batch.get(), r, c),
                                            static_cast<std::size_t>(PQgetlength(batch.get(), r, c)));
                    if (table.columns[i].kind == engine::ColumnKind::Boolean)
                        row[i] = value == "t" ? "1" : "0";
                    else
                        row[i] = value;
                }
                digest.add(row);
            }
        }
        command("CLOSE copied");
        return digest;
    }

    void flush() {
        if (buffer_.empty())
            return;
        int sent = 0;
        while ((sent = PQputCopyData(connection_.get(), buffer_.data(), static_cast<int>(buffer_.size()))) == 0)
            await(false);
        if (sent != 1)
            fail("cannot send rows");
        await(false);
        buffer_.clear();
    }

    // Waits for the server as await() says, and gives up the copy when it stays silent: the statement is
    // cancelled, the connection closed, and the transaction, never committed, changes nothing.
    void await(bool untilResult) {
        if (engine::awaitServer(connection_.get(), timeout_, untilResult))
            return;
        engine::requestCancel(connection_.get());
        connection_.reset();
        throw std::runtime_error(name_ + " did not answer in " + std::to_string(timeout_.count()) +
                                 " seconds; the connection was closed and nothing was copied");
    }

    // The last result of the statement sent, once the server has sent them all.
    engine::ResultHandle lastResult() {
        engine::ResultHandle last;
        for (;;) {
            await(true);
            engine::ResultHandle next(PQgetResult(connection_.get()));
            // COPY FROM STDIN waits for the rows: its result is the last until they are sent.
            if (!next || PQresultStatus(next.get()) == PGRES_COPY_IN) {
                if (next)
                    last = std::move(next);
                return last;
            }
            last = std::move(next);
        }
    }

    engine::ResultHandle execute(const std::string& sql) {
        if (!PQsendQuery(connection_.get(), sql.c_str()))
            fail("cannot send a statement");
        return lastResult();
    }

    void command(const std::string& sql) {
        const engine::ResultHandle result = execute(sql);
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
            throw std::runtime_error(name_ + ": " + reasonOf(result.get()) + "; nothing was copied");
    }
    [[noreturn]] void fail(const std::string& what, const PGresult* result = nullptr) {
        throw std::runtime_error(name_ + ": " + what + ": " + reasonOf(result) + "; nothing was copied");
    }
    // The server's message about a result, or libpq's about the connection, without its line end.
    std::string reasonOf(const PGresult* result) const {
        std::string reason = result ? PQresultErrorMessage(result) : "";
        if (reason.empty())
            reason = PQerrorMessage(connection_.get());
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
            reason.pop_back();
        return reason.empty() ? "no reason given" : reason;
    }

    engine::ConnectionHandle connection_;
    std::chrono::seconds timeout_{30};
    std::string name_;
    std::string buffer_;
};

} // namespace

std::unique_ptr<RegisterWriter> postgresRegisterWriter(const engine::AliasDefinition& target) {
    return std::make_unique<PostgresWriter>(target);
}

} // namespace registercopy

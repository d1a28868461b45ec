#include "RegisterWriter.h"

#include "engine/AliasFile.h"

#include <filesystem>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <stdexcept>

namespace registercopy {
namespace {

// A new SQLite file, written in one transaction; the index is made after the rows.
class SqliteWriter final : public RegisterWriter {
public:
    explicit SqliteWriter(std::string path) : path_(std::move(path)), createdFile_(!std::filesystem::exists(path_)) {
        try {
            if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
                fail("cannot open");
            exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
        } catch (...) {
            // The destructor does not run for an object that was never made.
            sqlite3_close(db_);
            throw;
        }
    }
    ~SqliteWriter() override {
        sqlite3_finalize(insert_);
        sqlite3_close(db_);
        // A copy that did not finish leaves no new file behind (an existing file keeps what it had: the
        // transaction was never committed).
        if (!finished_ && createdFile_) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    void beginTable(const TableSpec& table) override {
        sqlite3_stmt* probe = nullptr;
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE", -1,
                           &probe, nullptr);
        sqlite3_bind_text(probe, 1, table.name.data(), static_cast<int>(table.name.size()), SQLITE_STATIC);
        const bool exists = sqlite3_step(probe) == SQLITE_ROW;
        sqlite3_finalize(probe);
        if (exists)
            throw std::runtime_error(path_ + " already has a table " + std::string(table.name) +
                                     "; nothing was copied");
        std::string create = "CREATE TABLE " + std::string(table.name) + " (";
        std::string insert = "INSERT INTO " + std::string(table.name) + " VALUES (";
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            create +=
                (i ? ", " : "") + std::string(table.columns[i].name) + " " + std::string(table.columns[i].sqliteType);
            insert += i ? ", ?" : "?";
        }
        exec(create + ")");
        sqlite3_finalize(insert_);
        insert_ = nullptr;
        if (sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &insert_, nullptr) != SQLITE_OK)
            fail("cannot prepare the insert");
        kinds_.clear();
        for (const auto& column : table.columns)
            kinds_.push_back(column.kind);
    }

    void addRow(const std::vector<Value>& row) override {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int index = static_cast<int>(i + 1);
            if (!row[i])
                sqlite3_bind_null(insert_, index);
            else if (kinds_[i] == ColumnKind::Boolean)
                sqlite3_bind_int(insert_, index, *row[i] == "1" ? 1 : 0);
            else
                sqlite3_bind_text(insert_, index, row[i]->data(), static_cast<int>(row[i]->size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert_) != SQLITE_DONE)
            fail("cannot insert a row");
        sqlite3_reset(insert_);
    }

    std::int64_t endTable(const TableSpec& table) override {
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(db_, ("SELECT count(*) FROM " + std::string(table.name)).c_str(), -1, &count, nullptr);
        sqlite3_step(count);
        const std::int64_t rows = sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
        return rows;
    }

    void finish() override {
        exec("CREATE INDEX Osigurenici_LEKAR_S ON Osigurenici (LEKAR_S); COMMIT");
        exec("PRAGMA journal_mode = DELETE");
        finished_ = true;
    }

private:
    void exec(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error(path_ + ": " + message);
        }
    }
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error(path_ + ": " + what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
    }

    std::string path_;
    bool createdFile_;
    bool finished_ = false;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    std::vector<ColumnKind> kinds_;
};

// An empty PostgreSQL database, filled with COPY in one transaction.
class PostgresWriter final : public RegisterWriter {
public:
    explicit PostgresWriter(const engine::AliasDefinition& alias) {
        std::vector<std::string> keys, values;
        // The engine's own entries are not libpq keywords.
        for (const auto& [key, value] : alias.entries)
            if (key != "path" && key != "codepage" && key != "timeout") {
                keys.push_back(key);
                values.push_back(value);
            }
        keys.emplace_back("client_encoding");
        values.emplace_back("UTF8");
        std::vector<const char*> k, v;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            k.push_back(keys[i].c_str());
            v.push_back(values[i].c_str());
        }
        k.push_back(nullptr);
        v.push_back(nullptr);
        name_ = "the PostgreSQL database " + alias.entry("dbname", alias.name);
        connection_ = PQconnectdbParams(k.data(), v.data(), 0);
        try {
            if (PQstatus(connection_) != CONNECTION_OK)
                fail("cannot connect");
            command("BEGIN");
        } catch (...) {
            // The destructor does not run for an object that was never made.
            PQfinish(connection_);
            throw;
        }
    }
    ~PostgresWriter() override { PQfinish(connection_); }

    void beginTable(const TableSpec& table) override {
        const std::string tableName(table.name);
        const char* parameter = tableName.c_str();
        PGresult* probe = PQexecParams(connection_, "SELECT 1 FROM pg_tables WHERE lower(tablename) = lower($1)", 1,
                                       nullptr, &parameter, nullptr, nullptr, 0);
        const bool exists = PQntuples(probe) > 0;
        PQclear(probe);
        if (exists)
            throw std::runtime_error(name_ + " already has a table " + std::string(table.name) +
                                     "; nothing was copied");
        std::string create = "CREATE TABLE " + std::string(table.name) + " (";
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            create +=
                (i ? ", " : "") + std::string(table.columns[i].name) + " " + std::string(table.columns[i].postgresType);
        command(create + ")");
        PGresult* copy = PQexec(connection_, ("COPY " + std::string(table.name) + " FROM STDIN").c_str());
        const bool ready = PQresultStatus(copy) == PGRES_COPY_IN;
        PQclear(copy);
        if (!ready)
            fail("cannot start COPY");
        buffer_.clear();
    }

    void addRow(const std::vector<Value>& row) override {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                buffer_ += '\t';
            if (!row[i]) {
                buffer_ += "\\N";
                continue;
            }
            // COPY's text format: a backslash, tab, newline and carriage return are escaped.
            for (char c : *row[i]) {
                switch (c) {
                case '\\':
                    buffer_ += "\\\\";
                    break;
                case '\t':
                    buffer_ += "\\t";
                    break;
                case '\n':
                    buffer_ += "\\n";
                    break;
                case '\r':
                    buffer_ += "\\r";
                    break;
                default:
                    buffer_ += c;
                }
            }
        }
        buffer_ += '\n';
        if (buffer_.size() >= (1 << 20))
            flush();
    }

    std::int64_t endTable(const TableSpec& table) override {
        flush();
        if (PQputCopyEnd(connection_, nullptr) != 1)
            fail("cannot end COPY");
        PGresult* result = PQgetResult(connection_);
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        const std::string message = PQresultErrorMessage(result);
        PQclear(result);
        while ((result = PQgetResult(connection_)) != nullptr)
            PQclear(result);
        if (!ok)
            throw std::runtime_error(name_ + ": " + message);
        PGresult* count = PQexec(connection_, ("SELECT count(*) FROM " + std::string(table.name)).c_str());
        const std::int64_t rows =
            PQresultStatus(count) == PGRES_TUPLES_OK ? std::strtoll(PQgetvalue(count, 0, 0), nullptr, 10) : -1;
        PQclear(count);
        return rows;
    }

    void finish() override {
        command("CREATE INDEX Osigurenici_LEKAR_S ON Osigurenici (LEKAR_S)");
        command("COMMIT");
    }

private:
    void flush() {
        if (!buffer_.empty() && PQputCopyData(connection_, buffer_.data(), static_cast<int>(buffer_.size())) != 1)
            fail("cannot send rows");
        buffer_.clear();
    }
    void command(const std::string& sql) {
        PGresult* result = PQexec(connection_, sql.c_str());
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        const std::string message = PQresultErrorMessage(result);
        PQclear(result);
        if (!ok)
            throw std::runtime_error(name_ + ": " + message);
    }
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error(name_ + ": " + what + ": " + PQerrorMessage(connection_));
    }

    PGconn* connection_ = nullptr;
    std::string name_;
    std::string buffer_;
};

} // namespace

std::unique_ptr<RegisterWriter> RegisterWriter::forAlias(const engine::AliasDefinition& target) {
    if (target.driver == "sqlite") {
        const std::string path = target.resolvedPath();
        if (path.empty())
            throw std::runtime_error("the target alias '" + target.name + "' has no path");
        return std::make_unique<SqliteWriter>(path);
    }
    if (target.driver == "postgresql")
        return std::make_unique<PostgresWriter>(target);
    throw std::runtime_error("cannot copy into the driver '" + target.driver + "' of alias '" + target.name +
                             "': only sqlite and postgresql registers can be written");
}

} // namespace registercopy

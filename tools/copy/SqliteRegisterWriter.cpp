#include "RegisterWriter.h"

#include "engine/SqliteHandles.h"
#include "files/AtomicFile.h"
#include "files/StaleTemporaryFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace registercopy {
namespace {

std::string systemError() { return std::strerror(errno); }

// The hidden file in the target's folder that a new register is written to before it takes its name
// (files::AtomicFile, which a termination signal removes and a later copy removes only if this one was killed).
// SQLite writes it through its path; it never replaces a file that took the name meanwhile.
class TemporaryRegisterFile {
public:
    explicit TemporaryRegisterFile(const std::filesystem::path& finalPath)
        : finalPath_(finalPath.string()), file_(open(finalPath)) {}

    std::string path() const { return file_.temporaryPath(); }

    // Makes the written file durable and gives it its final name, unless a file has taken that name meanwhile.
    void commit() {
        try {
            if (file_.commitAsNew())
                return;
        } catch (const files::FileError& e) {
            throw std::runtime_error(std::string(e.what()) + "; nothing was copied");
        }
        throw std::runtime_error(finalPath_ +
                                 " was created by another program while the copy was written; it was left as it is "
                                 "and nothing was copied");
    }

private:
    static files::AtomicFile open(const std::filesystem::path& finalPath) {
        // A bare file name is in the current folder, which the file layer takes the empty folder for.
        const std::string folder = finalPath.parent_path().string();
        // What copies killed before they could clean up left behind for this name.
        files::removeStaleTemporaryFiles(folder, finalPath.filename().string());
        try {
            return files::AtomicFile(folder, finalPath.filename().string());
        } catch (const files::FileError& e) {
            throw std::runtime_error(std::string(e.what()) + "; nothing was copied");
        }
    }

    std::string finalPath_;
    files::AtomicFile file_;
};

class SqliteWriter final : public RegisterWriter {
public:
    explicit SqliteWriter(const std::string& path) : path_(path) {
        struct stat status {};
        const bool exists = ::stat(path.c_str(), &status) == 0;
        if (!exists && errno != ENOENT)
            throw std::runtime_error("cannot read " + path + ": " + systemError());
        if (exists && !S_ISREG(status.st_mode))
            throw std::runtime_error(path + " is not a database file; nothing was copied");
        if (!exists)
            temporary_ = std::make_unique<TemporaryRegisterFile>(path);
        sqlite3* db = nullptr;
        const int opened =
            sqlite3_open_v2(exists ? path.c_str() : temporary_->path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        db_.reset(db);
        if (opened != SQLITE_OK)
            fail("cannot open");
        if (exists) {
            // Another program's file: its journal stays on, so that the whole copy commits or none of it.
            sqlite3_busy_timeout(db_.get(), 10000);
            exec("PRAGMA synchronous = FULL; PRAGMA cache_size = -65536; BEGIN IMMEDIATE");
        } else {
            // A file nobody else sees until finish(): a failure removes it, so it needs no journal.
            exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA cache_size = -65536; BEGIN");
        }
    }

    void beginTable(const engine::RegisterTable& table) override {
        const engine::SqliteStatement probe =
            prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE");
        sqlite3_bind_text(probe.get(), 1, table.name.data(), static_cast<int>(table.name.size()), SQLITE_STATIC);
        const int found = sqlite3_step(probe.get());
        if (found == SQLITE_ROW)
            throw std::runtime_error(path_ + " already has a table " + std::string(table.name) +
                                     "; nothing was copied");
        if (found != SQLITE_DONE)
            fail("cannot read the tables");
        exec(engine::createTableStatement(table, engine::SqlStore::Sqlite));
        std::string insert = "INSERT INTO " + std::string(table.name) + " VALUES (";
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            insert += i ? ", ?" : "?";
        insert_ = prepare(insert + ")");
        kinds_.clear();
        for (const auto& column : table.columns)
            kinds_.push_back(column.kind);
    }

    void addRow(const std::vector<Value>& row) override {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int index = static_cast<int>(i + 1);
            if (!row[i])
                sqlite3_bind_null(insert_.get(), index);
            else if (kinds_[i] == engine::ColumnKind::Boolean)
                sqlite3_bind_int(insert_.get(), index, *row[i] == "1" ? 1 : 0);
            else
                sqlite3_bind_text(insert_.get(), index, row[i]->data(), static_cast<int>(row[i]->size()),
                                  SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert_.get()) != SQLITE_DONE)
            fail("cannot insert a row");
        sqlite3_reset(insert_.get());
    }

    ContentDigest endTable(const engine::RegisterTable& table) override {
        insert_.reset();
        const engine::SqliteStatement select = prepare(engine::selectAllStatement(table));
        ContentDigest digest;
        std::vector<Value> row(table.columns.size());
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int c = static_cast<int>(i);
                if (sqlite3_column_type(select.get(), c) == SQLITE_NULL)
                    row[i].reset();
                else if (kinds_[i] == engine::ColumnKind::Boolean)
                    row[i] = sqlite3_column_int64(select.get(), c) != 0 ? "1" : "0";
                else
                    row[i] = std::string(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), c)),
                                         static_cast<std::size_t>(sqlite3_column_bytes(select.get(), c)));
            }
            digest.add(row);
        }
        if (step != SQLITE_DONE)
            fail("cannot read the copy back");
        return digest;
    }

    void finish() override {
        exec(engine::createIndexStatement());
        exec("COMMIT");
        if (temporary_) {
            if (sqlite3_close(db_.get()) != SQLITE_OK)
                fail("cannot close");
            static_cast<void>(db_.release());
            temporary_->commit();
        }
    }

private:
    engine::SqliteStatement prepare(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        const int prepared = sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &statement, nullptr);
        engine::SqliteStatement owner(statement);
        if (prepared != SQLITE_OK)
            fail("cannot prepare a statement");
        return owner;
    }
    void exec(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error(path_ + ": " + message + "; nothing was copied");
        }
    }
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error(path_ + ": " + what + ": " + (db_ ? sqlite3_errmsg(db_.get()) : "out of memory") +
                                 "; nothing was copied");
    }

    std::string path_;
    // Declared before the connection, so that the connection is closed (rolling back) before the file goes.
    std::unique_ptr<TemporaryRegisterFile> temporary_;
    engine::SqliteConnection db_;
    engine::SqliteStatement insert_;
    std::vector<engine::ColumnKind> kinds_;
};

} // namespace

std::unique_ptr<RegisterWriter> sqliteRegisterWriter(const std::string& path) {
    return std::make_unique<SqliteWriter>(path);
}

} // namespace registercopy

#include "engine/SqliteDatabase.h"

#include "engine/AliasPath.h"

#include "engine/EngineError.h"
#include "engine/ReadOnlyFile.h"
#include "engine/SqliteCursor.h"
#include "engine/SqliteKeyOrder.h"

#include <filesystem>
#include <sqlite3.h>

namespace engine {
namespace {

// One open of the file: the connection and the identity of the file it reads. The file is read with plain
// reads, never through a memory map: the register is another program's file, and a map over a file that
// shrinks kills the process with SIGBUS where a read merely comes back short.
constexpr int kBusyTimeoutMs = 5000;

bool isBusy(int code) { return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED; }

// What a clerk or an administrator is told when a writer keeps the file locked past the wait: the register is
// there and sound, only busy.
std::string registerBusyMessage(const std::string& path) {
    return "The database file " + path + " is being written by another program, which kept it locked for " +
           std::to_string(kBusyTimeoutMs / 1000) + " seconds; try again in a moment";
}

struct OpenedFile {
    std::shared_ptr<sqlite3> db;
    FileIdentity identity;
    // In WAL mode the main file is rewritten by checkpoints while others read it consistently; only a
    // different file counts as a change then.
    bool writeAheadLog = false;
};

OpenedFile openFile(const std::string& path) {
    // The identity is taken before the open: a file renamed over the path in between is then opened anew
    // at the next statement instead of being missed.
    const FileIdentity identity = fileIdentityOf(path);
    prepareSqliteLibrary();
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    SqliteConnection handle(raw);
    if (rc != SQLITE_OK)
        throw EngineError({"Cannot open the database file " + path, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)});
    // Wait for another program's write to finish rather than fail at once; never write. Without a memory map
    // every page comes through a read: a page cache of up to 16 MiB keeps the pages of the doctors a clerk
    // goes back and forth between, so a reload costs what it did with the map. SQLite drops the cache when
    // the file's change counter moves; a file copied over in place may carry the same counter, so the
    // database opens the file anew whenever it changed at all (see SqliteDatabase::execute).
    sqlite3_busy_timeout(handle.get(), kBusyTimeoutMs);
    char* error = nullptr;
    if (sqlite3_exec(handle.get(),
                     "PRAGMA query_only = 1; PRAGMA mmap_size = 0; PRAGMA cache_size = -16384; SELECT count(*) FROM "
                     "sqlite_master",
                     nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string reason = error ? error : "unknown error";
        sqlite3_free(error);
        if (isBusy(sqlite3_errcode(handle.get())))
            throw EngineError(registerBusyMessage(path));
        throw EngineError({"Cannot open the database file " + path,
                           reason == "file is not a database" ? "The file is not an SQLite database" : reason});
    }
    OpenedFile opened{std::shared_ptr<sqlite3>(handle.release(), SqliteConnectionCloser{}), identity, false};
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(opened.db.get(), "PRAGMA journal_mode", -1, &statement, nullptr);
    const SqliteStatement mode(statement);
    if (mode && sqlite3_step(mode.get()) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(mode.get(), 0);
        opened.writeAheadLog = text && std::string_view(reinterpret_cast<const char*>(text)) == "wal";
    }
    return opened;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) { return a.device == b.device && a.inode == b.inode; }

// Whether the file at a path is still the one a connection has read: in WAL mode the same file (checkpoints
// rewrite it while others read it consistently), otherwise the same file with the same size and time.
bool unchanged(const FileIdentity& known, const FileIdentity& now, bool writeAheadLog) {
    return writeAheadLog ? sameFile(known, now) : known == now;
}

// Turns what can go wrong while another program replaces or rewrites the database file into errors naming it:
// a failed read, and a file that changed after the statement was prepared against it, up to the last row
// (whose rows may mix the old content with the new).
class FileWatch final : public StepWatch {
public:
    // `prepared`: the file's identity when the statement was prepared, which the connection's cache holds.
    FileWatch(std::string path, bool writeAheadLog, FileIdentity prepared)
        : path_(std::move(path)), writeAheadLog_(writeAheadLog), known_(prepared) {}

    // SQLite holds its shared lock from the first step to the last, so a writer that keeps to SQLite's locks
    // cannot change the file in between: a change seen here came from outside them.
    void stepped(bool, bool) override {
        if (unchanged(known_, fileIdentityOf(path_), writeAheadLog_))
            return;
        throw EngineError("The database file " + path_ +
                          " was replaced or rewritten by another program while it was read; nothing was loaded. "
                          "Try again once the file is complete");
    }

    [[noreturn]] void failedStep(int code, const std::string& message) override {
        if (isBusy(code))
            throw EngineError(registerBusyMessage(path_));
        throw EngineError({"Cannot read the database file " + path_, message});
    }

private:
    std::string path_;
    bool writeAheadLog_;
    FileIdentity known_;
};

class SqliteDatabase final : public Database {
public:
    SqliteDatabase(OpenedFile opened, std::string path, const CodePage& codePage)
        : opened_(std::move(opened)), path_(std::move(path)), codePage_(codePage) {}

    ~SqliteDatabase() override { endConsistentRead(); }

    std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) override {
        openAgainWhenChanged();
        return executeOnSqlite(opened_.db, sql, parameters, codePage_, path_, {},
                               std::make_unique<FileWatch>(path_, opened_.writeAheadLog, opened_.identity));
    }

    // A table scan in rowid order, where the keyed statement delivers each key's rows in rowid order too.
    std::unique_ptr<Cursor> readInKeyOrder(std::string_view table, std::string_view keyColumn,
                                           std::string_view blankColumn) override {
        openAgainWhenChanged();
        if (!keyedRowsComeInRowidOrder(opened_.db.get(), table, keyColumn, blankColumn))
            return nullptr;
        return executeOnSqlite(opened_.db, rowidOrderStatement(table, keyColumn, blankColumn), {}, codePage_, path_, {},
                               std::make_unique<FileWatch>(path_, opened_.writeAheadLog, opened_.identity),
                               Reading::Ahead);
    }

    const CodePage& codePage() const override { return codePage_; }

    // The largest rowid: the rows less those deleted, found by one step down the table's tree.
    std::optional<std::int64_t> estimatedRows(std::string_view table) override {
        const std::string sql = "SELECT max(rowid) FROM \"" + std::string(table) + "\"";
        sqlite3_stmt* raw = nullptr;
        if (table.find('"') != std::string_view::npos ||
            sqlite3_prepare_v2(opened_.db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
            return std::nullopt;
        const SqliteStatement statement(raw);
        if (sqlite3_step(statement.get()) != SQLITE_ROW)
            return std::nullopt;
        return sqlite3_column_int64(statement.get(), 0);
    }

    // One read transaction, started by a read so that its state is fixed now and not at the first statement.
    // The file is opened anew first when it changed, and again when it was replaced before the lock was taken.
    void beginConsistentRead() override {
        for (int attempt = 0;; ++attempt) {
            openAgainWhenChanged();
            run("BEGIN");
            try {
                run("SELECT count(*) FROM sqlite_master");
            } catch (...) {
                run("ROLLBACK");
                throw;
            }
            const FileIdentity locked = fileIdentityOf(path_);
            if (sameFile(locked, opened_.identity) || attempt == 2) {
                // Under the lock (or the WAL snapshot) the file's content is fixed: what it is now is what is read.
                opened_.identity = locked;
                inConsistentRead_ = true;
                return;
            }
            run("ROLLBACK");
        }
    }

    void endConsistentRead() noexcept override {
        if (!inConsistentRead_)
            return;
        inConsistentRead_ = false;
        sqlite3_exec(opened_.db.get(), "COMMIT", nullptr, nullptr, nullptr);
    }

    std::string registerIdentity() const override {
        const FileIdentity identity = fileIdentityOf(path_);
        return std::to_string(identity.device) + ":" + std::to_string(identity.inode);
    }
    std::string registerName() const override { return path_; }

private:
    // A file renamed over the path (the usual way of refreshing a register) or rewritten in place is read from
    // the next statement on, with an empty cache; cursors of the old file keep their connection until they go.
    // Within a consistent read the file is never opened anew: a change then is an error, since the statements
    // would no longer read one register.
    void openAgainWhenChanged() {
        if (unchanged(opened_.identity, fileIdentityOf(path_), opened_.writeAheadLog))
            return;
        if (inConsistentRead_)
            throw EngineError("The database file " + path_ +
                              " was replaced or rewritten by another program while it was read; nothing was loaded. "
                              "Try again once the file is complete");
        opened_ = openFile(path_);
    }

    // Runs a statement of the connection's own (a transaction's begin or end). Throws EngineError.
    void run(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(opened_.db.get(), sql, nullptr, nullptr, &error) == SQLITE_OK)
            return;
        const std::string reason = error ? error : sqlite3_errmsg(opened_.db.get());
        sqlite3_free(error);
        if (isBusy(sqlite3_errcode(opened_.db.get())))
            throw EngineError(registerBusyMessage(path_));
        throw EngineError({"Cannot read the database file " + path_, reason});
    }

    bool inConsistentRead_ = false;

    OpenedFile opened_;
    std::string path_;
    const CodePage& codePage_;
};

} // namespace

std::unique_ptr<Database> openSqliteDatabase(const AliasDefinition& alias, const CodePage& codePage) {
    const auto [path, where] = existingAliasPath(alias, "the database file", "Database file ");
    if (const std::string kind = nonRegularFileKind(path); !kind.empty())
        throw EngineError("Database file " + path + " is " + kind + ", not an SQLite file (" + where + ")");
    return std::make_unique<SqliteDatabase>(openFile(path), path, codePage);
}

} // namespace engine

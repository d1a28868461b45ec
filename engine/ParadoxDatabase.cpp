#include "engine/ParadoxDatabase.h"

#include "engine/AliasPath.h"
#include "engine/EngineError.h"
#include "engine/ParadoxVirtualTable.h"
#include "engine/ReadOnlyFile.h"
#include "engine/SqliteCursor.h"
#include "engine/Text.h"

#include <algorithm>
#include <filesystem>
#include <sqlite3.h>

namespace engine {
namespace {

namespace fs = std::filesystem;

// Tells a step that failed because a table changed under it (ChangedWhileRead, which SQLite carries as a mere
// message) from other failures.
class ChangeWatch final : public StepWatch {
public:
    explicit ChangeWatch(std::shared_ptr<ParadoxTableRegistry> registry) : registry_(std::move(registry)) {}

    void stepped(bool, bool) override {}

    [[noreturn]] void failedStep(int, const std::string& message) override {
        for (const auto& [name, source] : registry_->tables())
            if (std::string change = source->takeChangeWhileRead(); !change.empty())
                throw ChangedWhileRead(change);
        throw EngineError(message);
    }

private:
    std::shared_ptr<ParadoxTableRegistry> registry_;
};

// The statements run in an SQLite database of our own in memory, which holds nothing but a virtual table
// for each Paradox table a statement has named so far.
class ParadoxDatabase final : public Database {
public:
    ParadoxDatabase(std::string folder, const CodePage& codePage, std::shared_ptr<ParadoxPasswords> passwords)
        : folder_(std::move(folder)), codePage_(codePage), passwords_(std::move(passwords)),
          registry_(std::make_shared<ParadoxTableRegistry>()) {
        prepareSqliteLibrary();
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        db_.reset(raw, SqliteConnectionCloser{});
        if (rc != SQLITE_OK)
            throw EngineError(
                {"Cannot open the Paradox tables in " + folder_, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)});
        // Statements reach the tables of the folder only: no other database files.
        sqlite3_limit(db_.get(), SQLITE_LIMIT_ATTACHED, 0);
        registerParadoxModule(db_.get(), registry_);
    }

    std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) override {
        forgetChangedTables();
        return executeOnSqlite(
            db_, sql, parameters, codePage_, folder_, [this](const std::string& name) { return addTable(name); },
            std::make_unique<ChangeWatch>(registry_));
    }

    // A scan in the order of the table's block chain: the order in which the index of an alpha column gives
    // the records of one key. A key of another kind is compared by SQLite, which may convert it; no promise then.
    std::unique_ptr<Cursor> readInKeyOrder(std::string_view table, std::string_view keyColumn,
                                           std::string_view blankColumn) override {
        forgetChangedTables();
        const std::string name(table);
        addTable(name);
        const auto source = registry_->find(name);
        if (!source)
            return nullptr;
        const auto& columns = source->columns();
        const auto key = std::find_if(columns.begin(), columns.end(), [&](const ParadoxTableSource::Column& column) {
            return equalsIgnoreCase(column.name, keyColumn);
        });
        if (key == columns.end() || !source->isAlphaColumn(static_cast<std::size_t>(key - columns.begin())))
            return nullptr;
        return executeOnSqlite(
            db_, "SELECT * FROM " + quotedIdentifier(table) + " WHERE " + quotedIdentifier(blankColumn) + " IS NULL",
            {}, codePage_, folder_, [this](const std::string& missing) { return addTable(missing); },
            std::make_unique<ChangeWatch>(registry_), Reading::Ahead);
    }

    const CodePage& codePage() const override { return codePage_; }

    // The record count the table's header promises.
    std::optional<std::int64_t> estimatedRows(std::string_view table) override {
        const std::string name(table);
        addTable(name);
        const auto source = registry_->find(name);
        if (!source)
            return std::nullopt;
        return static_cast<std::int64_t>(source->table()->recordCountInHeader());
    }

    // The folder and every table file (.DB) in it, by name.
    std::string registerIdentity() const override {
        std::vector<std::string> tables;
        std::error_code ec;
        for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec))
            if (equalsIgnoreCase(it->path().extension().string(), ".db"))
                tables.push_back(it->path().string());
        if (ec)
            throw EngineError("Cannot read the folder " + folder_ + ": " + ec.message());
        std::sort(tables.begin(), tables.end());
        const auto identity = [](const std::string& path) {
            const FileIdentity file = fileIdentityOf(path);
            return std::to_string(file.device) + ":" + std::to_string(file.inode);
        };
        std::string version = identity(folder_);
        for (const auto& table : tables)
            version += " " + fs::path(table).filename().string() + "=" + identity(table);
        return version;
    }
    std::string registerName() const override { return folder_; }
    bool readProtectedTable() const override { return passwords_->unlockedAny(); }

private:
    // Makes the table of that name known when the folder has its file. Throws EngineError when the file
    // cannot be read.
    bool addTable(const std::string& name) {
        if (registry_->find(name))
            return false;
        const std::string file = tableFile(name);
        if (file.empty())
            return false;
        registry_->add(name, std::make_shared<ParadoxTableSource>(file, codePage_, passwords_));
        char* error = nullptr;
        const std::string sql = "CREATE VIRTUAL TABLE " + quotedIdentifier(name) + " USING paradox";
        if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string reason = error ? error : sqlite3_errmsg(db_.get());
            sqlite3_free(error);
            registry_->remove(name);
            throw EngineError(reason);
        }
        return true;
    }

    // A table whose file changed its fields, vanished or became unreadable is dropped, so that the next
    // statement naming it finds the file anew (or says why it cannot). A table in use by an unfinished
    // statement stays; its scans notice the change themselves.
    void forgetChangedTables() {
        for (const auto& [name, source] : registry_->tables()) {
            source->takeChangeWhileRead(); // of an earlier statement
            bool current = false;
            try {
                current = source->refresh();
            } catch (const EngineError&) {
            }
            if (current)
                continue;
            const std::string sql = "DROP TABLE " + quotedIdentifier(name);
            if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
                registry_->remove(name);
        }
    }

    // The file <name>.DB of the folder, found without regard to case; "" when there is none.
    std::string tableFile(const std::string& name) const {
        std::vector<std::string> found;
        std::error_code ec;
        for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& path = it->path();
            if (equalsIgnoreCase(path.extension().string(), ".db") && equalsIgnoreCase(path.stem().string(), name))
                found.push_back(path.string());
        }
        if (ec)
            throw EngineError("Cannot read the folder " + folder_ + ": " + ec.message());
        if (found.size() > 1) {
            std::sort(found.begin(), found.end());
            std::string files;
            for (const auto& file : found)
                files += (files.empty() ? "" : ", ") + fs::path(file).filename().string();
            throw EngineError("Table '" + name + "' is more than one file in the folder " + folder_ + ": " + files);
        }
        if (found.empty())
            return {};
        // A folder or a FIFO of the table's name is called what it is, not a missing table (a FIFO would
        // also block the reader).
        if (const std::string kind = nonRegularFileKind(found.front()); !kind.empty())
            throw EngineError("Table '" + name + "': " + found.front() + " is " + kind + ", not a Paradox table");
        return found.front();
    }

    std::string folder_;
    const CodePage& codePage_;
    std::shared_ptr<ParadoxPasswords> passwords_;
    std::shared_ptr<ParadoxTableRegistry> registry_;
    std::shared_ptr<sqlite3> db_;
};

} // namespace

std::unique_ptr<Database> openParadoxDatabase(const AliasDefinition& alias, const CodePage& codePage,
                                              const PasswordPrompt& askPassword) {
    const auto [folder, where] =
        existingAliasPath(alias, "the folder of the Paradox tables", "Folder ", " of the Paradox tables");
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw EngineError(folder + " is a file, not the folder of the Paradox tables (" + where + ")");
    fs::directory_iterator probe(folder, ec);
    if (ec)
        throw EngineError(
            {"Cannot read the folder " + folder + " of the Paradox tables (" + where + ")", ec.message()});
    return std::make_unique<ParadoxDatabase>(folder, codePage,
                                             std::make_shared<ParadoxPasswords>(alias.password(), askPassword));
}

} // namespace engine

#pragma once

#include "engine/CodePage.h"
#include "engine/ParadoxIndex.h"
#include "engine/ParadoxPasswords.h"
#include "engine/ParadoxTable.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace engine {

// One Paradox table file as SQL sees it: the columns it offers, the reader of the file as it is now, and the
// indexes of alpha columns built so far. Columns are the fields that have a value in the record (memo and
// BLOB fields are left out), named as the header names them and typed so that the engine maps them to its
// column types: alpha TEXT, logical BOOLEAN (0 or 1), date DATE (ISO text), short, long and autoincrement
// INTEGER, number and currency REAL, BCD DECIMAL (a REAL value), time TIME ("HH:MM:SS", with ".mmm" when
// there are milliseconds), timestamp DATETIME ("YYYY-MM-DD HH:MM:SS"), bytes BLOB. Blank values are NULL.
// Texts are UTF-8, converted from the code page the header records, or from the engine's code page when the
// header records none (tables of version 3).
class ParadoxTableSource {
public:
    struct Column {
        std::size_t field = 0; // index into the table's fields
        std::string name;      // UTF-8
        const char* sqlType = "";
        bool operator==(const Column& other) const;
    };

    // Opens the table, asking `passwords` for the password of a protected one (at each reopening too). Throws
    // EngineError naming the file when it cannot be read.
    ParadoxTableSource(std::string path, const CodePage& engineCodePage, std::shared_ptr<ParadoxPasswords> passwords);

    const std::string& path() const { return path_; }
    const std::vector<Column>& columns() const { return columns_; }
    bool isAlphaColumn(std::size_t column) const;

    // The SQL table declaration of the columns.
    std::string declaration() const;

    // Checks the file on disk. When it changed (size, time of change, or another file under the name), the
    // header is read again and the indexes are dropped. Returns false when the changed file has other
    // columns, so the SQL table must be declared anew; the reader then stays as it was. Throws EngineError
    // when the file is gone or damaged.
    bool refresh();

    // The reader of the file as it was at the last refresh; readers handed out stay valid after a refresh.
    std::shared_ptr<const ParadoxTable> table() const { return table_; }
    // The code page the texts of the current reader are stored in.
    const CodePage& storedCodePage() const;

    // A read of the table found the file changed under it (see ChangedWhileRead): the message, kept until
    // taken, so that the statement's owner can tell that change from other failures once SQLite has turned it
    // into a message. Safe from a thread that reads ahead.
    void noteChangeWhileRead(std::string message);
    std::string takeChangeWhileRead();

    // The index of an alpha column over the current reader, built by a scan on first use.
    std::shared_ptr<const ParadoxAlphaIndex> index(std::size_t column);

private:
    std::vector<Column> columnsOf(const ParadoxTable& table) const;

    std::string path_;
    const CodePage& engineCodePage_;
    std::shared_ptr<ParadoxPasswords> passwords_;
    std::shared_ptr<const ParadoxTable> table_;
    std::vector<Column> columns_;
    std::vector<std::shared_ptr<const ParadoxAlphaIndex>> indexes_; // by column; null until built
    std::mutex changeMutex_;
    std::string changeWhileRead_;
};

// The Paradox tables an SQLite connection knows, by SQL name without regard to ASCII case.
class ParadoxTableRegistry {
public:
    void add(const std::string& sqlName, std::shared_ptr<ParadoxTableSource> source);
    void remove(const std::string& sqlName);
    std::shared_ptr<ParadoxTableSource> find(std::string_view sqlName) const;
    // Every table by its name as added.
    std::vector<std::pair<std::string, std::shared_ptr<ParadoxTableSource>>> tables() const;

private:
    struct Entry {
        std::string sqlName;
        std::shared_ptr<ParadoxTableSource> source;
    };
    std::map<std::string, Entry> tables_; // keyed by lower-case name
};

// Registers the virtual-table module "paradox" on a connection. After a table is added to the registry,
// "CREATE VIRTUAL TABLE <name> USING paradox" makes it a table of the connection; its rows come from the
// file in the order of its block chain. An equality with an alpha column (lekar_s = ?) finds its rows by
// the column's index, built on first use; every other condition reads the whole table. The registry lives
// as long as the connection does.
void registerParadoxModule(sqlite3* db, std::shared_ptr<ParadoxTableRegistry> registry);

} // namespace engine

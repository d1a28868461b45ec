#pragma once

#include "engine/CodePage.h"
#include "engine/Date.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The type of a result column as the engine reports it. Unknown is a column whose type only its values
// tell (an expression); such a column suits a field of any type.
enum class ColumnType { String, Boolean, Date, Integer, Float, Unknown };

const char* columnTypeName(ColumnType type);

struct ColumnInfo {
    std::string name;
    ColumnType type = ColumnType::Unknown;
};

// A forward-only, read-only result. Before the first next() there is no current row.
class Cursor {
public:
    virtual ~Cursor() = default;

    virtual const std::vector<ColumnInfo>& columns() const = 0;

    // Moves to the next row; false when there is none. Throws EngineError when the engine fails.
    virtual bool next() = 0;

    // Values of the current row. REQUIRES: the last next() returned true and column < columns().size().
    // A blank (null) value reads as "", false, 0 by the typed readers. An empty text in a date column is
    // blank, as a blank date of a Paradox table is.
    virtual bool isBlank(std::size_t column) = 0;
    // Text in the engine's code page, not trimmed; valid until the next call of next(), whatever other
    // columns are read meanwhile. A character the code page cannot hold is transliterated, or "?".
    virtual std::string_view text(std::size_t column) = 0;
    // Whether the last text(column) of the current row holds the stored text exactly.
    // REQUIRES: text(column) was read on the current row.
    virtual bool textIsExact(std::size_t column) = 0;
    // The value as the database holds it, in UTF-8, with no code page on the way (a Paradox table's text is
    // decoded from the table's own code page); "" for a blank. For copying, and for the message that reports
    // a text the code page cannot hold.
    virtual std::string storedText(std::size_t column) = 0;
    // Throws EngineError naming the column and the value when the value is not a boolean (a number, or a
    // text such as "true", "f", "1").
    virtual bool boolean(std::size_t column) = 0;
    // Throws EngineError naming the column and the value when the value is not a valid date.
    virtual DayNumber date(std::size_t column) = 0;
    virtual std::int64_t integer(std::size_t column) = 0;
};

// An open database: read-only for this program and shared with other programs.
class Database {
public:
    virtual ~Database() = default;

    // Runs a statement with "?" parameters bound by position, each a string in the engine's code page, in
    // the desktop engine's SQL (translated to the backend's dialect here). Throws EngineError.
    virtual std::unique_ptr<Cursor> execute(std::string_view sql, const std::vector<std::string>& parameters) = 0;

    // One read standing in for the statement "select * from <table> where <keyColumn> = ? and <blankColumn> is
    // null" run once for each value of the text column keyColumn: the rows whose blankColumn is blank, in an
    // order in which the rows of each key come exactly as that statement delivers them for that key. A row
    // that statement matches for no text (a key that is blank, or no text) may be left out. nullptr when
    // this database cannot promise that order (a server plans each statement its own way; an SQLite index
    // may order the rows of one key by another column); the caller then runs the statement per key. The
    // names are the tables' and columns' as the schema spells them. Throws EngineError. The cursor may read ahead
    // on a thread of its own: nothing else may use this database, on any thread, while the cursor lives.
    virtual std::unique_ptr<Cursor> readInKeyOrder(std::string_view table, std::string_view keyColumn,
                                                   std::string_view blankColumn) {
        (void)table, (void)keyColumn, (void)blankColumn;
        return nullptr;
    }

    // About how many rows `table` holds, known without reading them (for showing how far a read of the whole
    // table has come); nullopt when the database cannot tell so cheaply. Throws EngineError.
    virtual std::optional<std::int64_t> estimatedRows(std::string_view table) {
        (void)table;
        return std::nullopt;
    }

    // The 8-bit code page in which this database delivers text and takes parameters.
    virtual const CodePage& codePage() const = 0;

    // Begins one consistent read: every statement until endConsistentRead() sees the register in one state,
    // while other programs go on writing it. SQLite: one read transaction (in WAL mode writers go on; with a
    // rollback journal they wait on their own busy timeout until the read ends). A server: one REPEATABLE READ,
    // READ ONLY transaction. Paradox tables, which their owner writes in place without a transaction, are each
    // read again when they changed under a read (see readAgainWhenChanged). Throws EngineError.
    // REQUIRES: no consistent read is under way and no cursor of this database is open.
    virtual void beginConsistentRead() {}
    // Ends the consistent read; statements afterwards see the register as it is when each runs. Never throws.
    // REQUIRES: every cursor of this database is gone.
    virtual void endConsistentRead() noexcept {}
    // Empty while the consistent read can go on; otherwise why it cannot (the server's session is lost or its
    // transaction failed), and no further statement of this read can succeed.
    virtual std::string consistentReadLost() const { return {}; }

    // The register's files and folder by identity (device and inode), not by content: equal texts mean that
    // no file or folder was put in the place of another in between; a file merely written in place keeps its
    // identity. Empty for a server. Throws EngineError when a file cannot be examined.
    virtual std::string registerIdentity() const { return {}; }
    // What registerIdentity() describes, for messages: the database file, or the folder of the tables.
    virtual std::string registerName() const { return {}; }

    // Whether a table read so far was protected by a password of its own (a Paradox table); a copy of its rows
    // into another database carries no such protection.
    virtual bool readProtectedTable() const { return false; }
};

} // namespace engine

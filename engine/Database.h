#pragma once

#include "engine/CodePage.h"
#include "engine/Date.h"

#include <cstdint>
#include <memory>
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
    // names are the tables' and columns' as the schema spells them. Throws EngineError.
    virtual std::unique_ptr<Cursor> readInKeyOrder(std::string_view table, std::string_view keyColumn,
                                                   std::string_view blankColumn) {
        (void)table, (void)keyColumn, (void)blankColumn;
        return nullptr;
    }

    // The 8-bit code page in which this database delivers text and takes parameters.
    virtual const CodePage& codePage() const = 0;

    // The register's files as they are now, for noticing that they changed between statements: equal texts
    // mean that no file was replaced or rewritten in between, as far as the file system tells (device, inode,
    // size, time; a file's time only moves on). Empty for a server, where every statement sees one consistent
    // state of its own. Throws EngineError when a file cannot be examined.
    virtual std::string filesVersion() const { return {}; }
    // What filesVersion() describes, for messages: the database file, or the folder of the tables.
    virtual std::string filesName() const { return {}; }
};

} // namespace engine

#pragma once

#include "engine/Database.h"
#include "engine/SqliteHandles.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace engine {

// The engine's type of a column from its declared SQLite type, by SQLite's own affinity words: "BOOLEAN" is
// Boolean, a type naming "DATE" (DATE, DATETIME) is Date, "INT" Integer, "CHAR"/"TEXT"/"CLOB" String,
// "REAL"/"FLOA"/"DOUB"/"NUM"/"DEC" Float. No declared type (an expression) is Unknown.
ColumnType columnTypeOfDeclared(const char* declared);

// Sets up the SQLite library for this program before its first connection: no statistics of its memory,
// whose one lock every allocation of every thread would take (reading a table on two threads allocates for
// each value). Later calls, and calls after another part of the process started SQLite, do nothing.
void prepareSqliteLibrary();

// Asked when a statement names a table the connection does not have (the name as the statement spells
// it). Returns true when it has created the table, so that the statement is prepared again.
using MissingTableProvider = std::function<bool(const std::string& tableName)>;

// Watches the steps of a cursor: the database file's owner checks around them that the file stays the one
// the statement reads.
class StepWatch {
public:
    virtual ~StepWatch() = default;
    // After the first step and after the step that found no more rows. May throw EngineError to end the read.
    virtual void stepped(bool firstStep, bool more) = 0;
    // Throws the error of a step that failed with SQLite's (extended) result code and message.
    [[noreturn]] virtual void failedStep(int code, const std::string& message) = 0;
};

// How a cursor reads its rows: each on the caller's next(), or ahead of it, on a thread of its own (for a read
// of a whole table; nothing else may use the connection until the cursor goes).
enum class Reading { Stepped, Ahead };

// Runs a statement of the desktop engine's SQL on an SQLite connection: translates it to SQLite's dialect,
// refuses a statement that would write, binds the parameters (text in codePage) by position and returns
// a cursor that delivers text in codePage, whose steps `watch` (if any) is told of. The database's name (its
// file or folder) is what messages call it. The connection stays alive as long as the cursor does. Throws EngineError.
std::unique_ptr<Cursor> executeOnSqlite(const std::shared_ptr<sqlite3>& db, std::string_view sql,
                                        const std::vector<std::string>& parameters, const CodePage& codePage,
                                        const std::string& databaseName,
                                        const MissingTableProvider& provideMissingTable = {},
                                        std::unique_ptr<StepWatch> watch = nullptr, Reading reading = Reading::Stepped);

} // namespace engine

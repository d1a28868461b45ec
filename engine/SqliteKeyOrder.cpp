#include "engine/SqliteKeyOrder.h"

#include "engine/EngineError.h"
#include "engine/SqliteHandles.h"
#include "engine/Text.h"

#include <algorithm>
#include <map>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace engine {
namespace {

// The rows of a statement with text parameters, each row's columns as texts (NULL as nullopt).
std::vector<std::vector<std::optional<std::string>>> selectTexts(sqlite3* db, const char* sql,
                                                                 const std::vector<std::string>& parameters) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw EngineError(sqlite3_errmsg(db));
    const SqliteStatement statement(raw);
    for (std::size_t i = 0; i < parameters.size(); ++i)
        sqlite3_bind_text(raw, static_cast<int>(i + 1), parameters[i].data(), static_cast<int>(parameters[i].size()),
                          SQLITE_TRANSIENT);
    std::vector<std::vector<std::optional<std::string>>> rows;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < sqlite3_column_count(raw); ++c) {
            const auto* text = sqlite3_column_text(raw, c);
            row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt);
        }
    }
    if (rc != SQLITE_DONE)
        throw EngineError(sqlite3_errmsg(db));
    return rows;
}

// SQLite's affinity rules: a declared type naming INT is an integer; else one naming CHAR, CLOB or TEXT is text.
bool hasTextAffinity(const char* declared) {
    const std::string type = toLower(declared ? declared : "");
    const auto has = [&](const char* word) { return type.find(word) != std::string::npos; };
    return !has("int") && (has("char") || has("clob") || has("text"));
}

} // namespace

bool keyedRowsComeInRowidOrder(sqlite3* db, std::string_view table, std::string_view keyColumn,
                               std::string_view blankColumn) {
    try {
        const std::string tableName(table), key(keyColumn), blank(blankColumn);
        const char* declared = nullptr;
        const char* collation = nullptr;
        if (sqlite3_table_column_metadata(db, "main", tableName.c_str(), key.c_str(), &declared, &collation, nullptr,
                                          nullptr, nullptr) != SQLITE_OK ||
            !hasTextAffinity(declared) || collation == nullptr || sqlite3_stricmp(collation, "BINARY") != 0)
            return false;
        const auto kind =
            selectTexts(db, "SELECT type, wr FROM pragma_table_list WHERE schema = 'main' AND name = ?1 COLLATE NOCASE",
                        {tableName});
        if (kind.size() != 1 || kind[0][0] != "table" || kind[0][1] != "0")
            return false;
        // Each index with its column names; an expression's name is NULL.
        std::map<std::string, std::vector<std::optional<std::string>>> indexes;
        for (auto& row : selectTexts(db,
                                     "SELECT l.name, i.name FROM pragma_index_list(?1) AS l, "
                                     "pragma_index_info(l.name) AS i ORDER BY l.name, i.seqno",
                                     {tableName}))
            indexes[*row[0]].push_back(row[1]);
        const auto fixed = [&](const std::optional<std::string>& column) {
            return column && (equalsIgnoreCase(*column, key) || equalsIgnoreCase(*column, blank));
        };
        for (const auto& [name, columns] : indexes)
            if (std::any_of(columns.begin(), columns.end(), fixed) &&
                !std::all_of(columns.begin(), columns.end(), fixed))
                return false;
        return true;
    } catch (const EngineError&) {
        return false;
    }
}

std::string rowidOrderStatement(std::string_view table, std::string_view keyColumn, std::string_view blankColumn) {
    return "SELECT * FROM " + quotedIdentifier(table) + " NOT INDEXED WHERE " + quotedIdentifier(blankColumn) +
           " IS NULL AND typeof(" + quotedIdentifier(keyColumn) + ") = 'text' ORDER BY rowid";
}

} // namespace engine

#include "RegisterCopy.h"

#include "engine/CellText.h"
#include "engine/Date.h"
#include "engine/EngineError.h"

#include <stdexcept>

namespace registercopy {
namespace {

// A flag as the source stores it: 1 or 0 (SQLite, Paradox), t or f (PostgreSQL). Anything else ('yes',
// 'true', 2) is refused: the lists' conditions (aktiven=true) do not take it for true where the engine's
// reading would, so a copy that stored the reading would change what the program lists.
Value flagOf(engine::Cursor& cursor, std::size_t column) {
    const std::string stored = cursor.storedText(column);
    if (stored == "1" || stored == "t")
        return "1";
    if (stored == "0" || stored == "f")
        return "0";
    throw engine::EngineError("'" + engine::printableValue(stored) +
                              "' is stored where 1 or 0 is expected, and the program's lists do not read it as "
                              "the copy would store it; pelmarot-check lists every such value");
}

Value valueOf(engine::Cursor& cursor, std::size_t column, engine::ColumnKind kind) {
    if (cursor.isBlank(column))
        return std::nullopt;
    switch (kind) {
    case engine::ColumnKind::Boolean:
        return flagOf(cursor, column);
    case engine::ColumnKind::Date:
        return engine::isoDateText(cursor.date(column));
    case engine::ColumnKind::Text:
        break;
    }
    return cursor.storedText(column);
}

TableCopy copyTable(engine::Database& source, RegisterWriter& target, const engine::RegisterTable& table,
                    const CopyProgress& progress) {
    TableCopy copy{table.name, {}, {}};
    auto cursor = source.execute(engine::selectAllStatement(table), {});
    target.beginTable(table);
    std::vector<Value> row(table.columns.size());
    while (cursor->next()) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            try {
                row[i] = valueOf(*cursor, i, table.columns[i].kind);
            } catch (const engine::EngineError& e) {
                // The first column is the row's key: the doctor's code or the person's number.
                throw std::runtime_error(std::string(table.name) + ", row " + std::to_string(copy.read.rows() + 1) +
                                         " (" + std::string(table.columns[0].name) + " " + cursor->storedText(0) +
                                         "), column " + std::string(table.columns[i].name) + ": " + e.what() +
                                         "; nothing was copied");
            }
        }
        target.addRow(row);
        copy.read.add(row);
        if (copy.read.rows() % 50000 == 0 && progress)
            progress(table.name, copy.read.rows());
    }
    copy.stored = target.endTable(table);
    if (copy.stored != copy.read)
        throw std::runtime_error("the copy of " + std::string(table.name) + " does not hold what was read (" +
                                 std::to_string(copy.read.rows()) + " rows read, digest " + copy.read.text() + "; " +
                                 std::to_string(copy.stored.rows()) + " rows in the copy, digest " +
                                 copy.stored.text() + "); nothing was copied");
    return copy;
}

} // namespace

std::vector<TableCopy> copyRegister(engine::Database& source, RegisterWriter& target, const CopyProgress& progress) {
    std::vector<TableCopy> copies;
    for (const engine::RegisterTable* table : engine::registerTables())
        copies.push_back(copyTable(source, target, *table, progress));
    target.finish();
    return copies;
}

} // namespace registercopy

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace registercopy {

// The kinds of value a register column holds.
enum class ColumnKind { Text, Boolean, Date };

struct ColumnSpec {
    std::string_view name;
    ColumnKind kind;
    std::string_view sqliteType;   // as the engine expects it in an SQLite register
    std::string_view postgresType; // as the engine expects it on a server
};

struct TableSpec {
    std::string_view name;
    std::vector<ColumnSpec> columns;
};

// The two tables of a register, with the columns the program reads, in their order.
const std::vector<TableSpec>& registerTables();

} // namespace registercopy

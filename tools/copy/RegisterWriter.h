#pragma once

#include "RegisterTables.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {
struct AliasDefinition;
}

namespace registercopy {

// One value of a row: nullopt is NULL; text is UTF-8; a boolean is "1" or "0"; a date is "YYYY-MM-DD".
using Value = std::optional<std::string>;

// Where a copied register goes: a new SQLite file or an empty PostgreSQL database. Throws std::runtime_error
// with a message naming the target on any failure.
class RegisterWriter {
public:
    virtual ~RegisterWriter() = default;

    // Creates the table; refuses when a table of that name exists already.
    virtual void beginTable(const TableSpec& table) = 0;
    virtual void addRow(const std::vector<Value>& row) = 0;
    // Ends the table's rows and returns how many rows the target now holds in it.
    virtual std::int64_t endTable(const TableSpec& table) = 0;
    // Creates the index on Osigurenici.LEKAR_S and makes the copy durable; only after every table.
    virtual void finish() = 0;

    // The writer for a target alias (driver sqlite or postgresql).
    static std::unique_ptr<RegisterWriter> forAlias(const engine::AliasDefinition& target);
};

} // namespace registercopy

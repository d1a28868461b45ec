#pragma once

#include "ContentDigest.h"
#include "RegisterWriter.h"
#include "engine/Database.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace registercopy {

// How one table went: the digest of the rows read from the source and of the rows the target holds.
struct TableCopy {
    std::string_view table;
    ContentDigest read;
    ContentDigest stored;
};

// Called now and then with the table being copied and the rows copied of it so far.
using CopyProgress = std::function<void(std::string_view table, std::int64_t rows)>;

// Copies the register's tables from source into target and finishes the target. Text goes over exactly as the
// source stores it (a Paradox table's text decoded from its code page), with no 8-bit code page on the way.
// Throws std::runtime_error, leaving the target as it was, when a value cannot be read (naming the table, the
// row's number and key and the column) or when what the target holds differs from what was read.
std::vector<TableCopy> copyRegister(engine::Database& source, RegisterWriter& target, const CopyProgress& progress);

} // namespace registercopy

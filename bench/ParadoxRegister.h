#pragma once

// An SQLite register written again as the Paradox tables a desk holds (Lekari.DB, Osigurenici.DB: version 7
// tables of 4 KiB blocks, code page 1251, Alpha fields as wide as the register's schema says), row for row in
// the SQLite file's order, so that every list and export reads the same persons in the same order.

#include <filesystem>

namespace bench {

// The folder `folder` holding the Paradox copy of `sqliteRegister`, written when it is missing or was written
// from another file (a stamp in the folder names the source's size and time). Ends the bench, naming the
// table, row and column, when a value cannot be stored in a Paradox field (a text wider than its field, a
// date that is not YYYY-MM-DD).
std::filesystem::path paradoxCopy(const std::filesystem::path& sqliteRegister, const std::filesystem::path& folder);

} // namespace bench

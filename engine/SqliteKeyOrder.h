#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace engine {

// Whether "select * from <table> where <keyColumn> = ? and <blankColumn> is null" delivers the rows of each key
// in the order of their rowids, comparing the keys by their bytes as text: the key column has text affinity
// and the binary collation, the table has rowids, and every index of the table either leaves out both
// columns or holds no other column (an index led by the key and followed by another column would deliver
// that column's order). False when any of it cannot be told.
bool keyedRowsComeInRowidOrder(sqlite3* db, std::string_view table, std::string_view keyColumn,
                               std::string_view blankColumn);

// The statement that reads, in rowid order and without an index, the rows whose blankColumn is blank and
// whose key is a text, for the table above.
std::string rowidOrderStatement(std::string_view table, std::string_view keyColumn, std::string_view blankColumn);

} // namespace engine

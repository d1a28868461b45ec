#pragma once

// The floor under a reload: the insured-person list's query run by a plain loop over the sqlite3 API, on a
// connection opened as the program opens the register (read-only, no memory map, a 16 MiB page cache), with
// nothing kept but the length of each column's text.

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct BareReloads {
    std::vector<double> milliseconds; // one per doctor, in the order given
    long long rows = 0;               // over all the doctors
    long long textBytes = 0;          // the lengths of every column's text, over all the rows
};

// Runs "select * from osigurenici where lekar_s = ? and br_odj is null" once per doctor, in the order given,
// stepping every row and reading every column as text. Ends the bench when the file cannot be read.
BareReloads bareReloads(const std::filesystem::path& database, const std::vector<std::string>& doctors);

// The floor under a month end: one plain loop over the sqlite3 API reading every row the month end reads
// ("select * from osigurenici where br_odj is null"), every column as text, on a connection opened as the
// program opens the register. Returns the rows and adds the text lengths to `textBytes`.
long long bareScan(const std::filesystem::path& database, long long& textBytes);

} // namespace bench

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace registercopy {

// One value of a row: nullopt is NULL; text is UTF-8; a boolean is "1" or "0"; a date is "YYYY-MM-DD".
using Value = std::optional<std::string>;

// What a table holds, independent of the order of its rows: the number of rows and two sums of 64-bit hashes
// of each row's values. Equal tables give equal digests; a row that differs in any value, NULL against an empty
// text included, changes it (short of a 128-bit coincidence).
class ContentDigest {
public:
    void add(const std::vector<Value>& row);

    std::int64_t rows() const { return rows_; }
    // The two sums in hexadecimal, for the report.
    std::string text() const;

    bool operator==(const ContentDigest& other) const = default;

private:
    std::int64_t rows_ = 0;
    std::uint64_t first_ = 0;
    std::uint64_t second_ = 0;
};

} // namespace registercopy

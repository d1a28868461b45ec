#pragma once

#include "data/Field.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace data {

// The rows of an open query, kept column by column so that a large list costs little memory: each string
// column is one byte buffer with an end offset per row, the other kinds a fixed-size value per row.
class RowStore {
public:
    explicit RowStore(const std::vector<FieldKind>& kinds);

    int rowCount() const { return rowCount_; }

    // Appends an empty row (every value null); the setters fill the last row.
    void appendRow();
    // Removes every row, keeping the memory for the next ones.
    void clear();
    void setString(std::size_t column, std::string_view value);
    void setBoolean(std::size_t column, bool value);
    void setDate(std::size_t column, engine::DayNumber value);
    void setInteger(int row, std::size_t column, std::int32_t value);

    bool isNull(int row, std::size_t column) const {
        return columns_[column].nulls[static_cast<std::size_t>(row)] != 0;
    }
    std::string_view string(int row, std::size_t column) const {
        const Column& c = columns_[column];
        const auto r = static_cast<std::size_t>(row);
        const std::uint32_t begin = r == 0 ? 0 : c.ends[r - 1];
        return std::string_view(c.bytes).substr(begin, c.ends[r] - begin);
    }
    bool boolean(int row, std::size_t column) const {
        return columns_[column].values[static_cast<std::size_t>(row)] == 1;
    }
    engine::DayNumber date(int row, std::size_t column) const {
        return columns_[column].values[static_cast<std::size_t>(row)];
    }
    std::int32_t integer(int row, std::size_t column) const {
        return columns_[column].values[static_cast<std::size_t>(row)];
    }

private:
    struct Column {
        FieldKind kind;
        std::string bytes;                // String: the texts of all rows, one after the other
        std::vector<std::uint32_t> ends;  // String: end offset of each row's text in bytes
        std::vector<std::int32_t> values; // other kinds: the value of each row
        std::vector<std::uint8_t> nulls;  // every kind: whether the row's value is null (1) or not (0)
    };

    std::vector<Column> columns_;
    int rowCount_ = 0;
};

} // namespace data

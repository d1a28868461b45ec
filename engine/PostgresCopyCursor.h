#pragma once

#include "engine/CellText.h"
#include "engine/Database.h"
#include "engine/PostgresSession.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The rows of a COPY (SELECT ...) TO STDOUT in text format, read from the session one at a time as the server
// streams them: a few hundred bytes per row in memory, however large the result. Values are the server's text
// output, as a statement's results give them (booleans "t"/"f", ISO dates), read by the same rules. A newer
// statement on the session ends the cursor (next() then says there are no more rows). A COPY that the server or
// the connection cuts off part-way throws EngineError from next(), never an early end.
class PostgresCopyCursor final : public Cursor {
public:
    // REQUIRES: the COPY was sent (PostgresSession::sendCopy) and its columns are `columns`.
    PostgresCopyCursor(std::shared_ptr<PostgresSession> session, std::vector<ColumnInfo> columns,
                       const CodePage& codePage);

    const std::vector<ColumnInfo>& columns() const override { return columns_; }
    bool next() override;

    bool isBlank(std::size_t column) override { return blank_[column] != 0; }
    std::string_view text(std::size_t column) override { return texts_.convert(column, stored(column)); }
    bool textIsExact(std::size_t column) override { return texts_.exact(column); }
    std::string storedText(std::size_t column) override { return std::string(stored(column)); }
    bool boolean(std::size_t column) override { return booleanOfColumnText(stored(column), columns_[column].name); }
    DayNumber date(std::size_t column) override { return dayOfColumnText(stored(column), columns_[column].name); }
    std::int64_t integer(std::size_t column) override;

private:
    // Splits a row at its tabs and undoes COPY's escapes into values_; throws EngineError when the row does not
    // have one value per column.
    void decode(std::string_view row);
    std::string_view stored(std::size_t column) const {
        return std::string_view(values_).substr(starts_[column], starts_[column + 1] - starts_[column] - 1);
    }

    std::shared_ptr<PostgresSession> session_;
    std::uint64_t statement_;
    std::vector<ColumnInfo> columns_;
    RowTexts texts_;
    bool done_ = false;
    std::int64_t rows_ = 0;
    std::string values_;              // every value of the row, each followed by a NUL
    std::vector<std::size_t> starts_; // where each value begins in values_, and one past the last
    std::vector<char> blank_;
};

} // namespace engine

#include "data/RowStore.h"

#include <stdexcept>

namespace data {

RowStore::RowStore(const std::vector<FieldKind>& kinds) {
    for (FieldKind kind : kinds)
        columns_.push_back(Column{kind, {}, {}, {}, {}});
}

void RowStore::appendRow() {
    for (auto& column : columns_) {
        if (column.kind == FieldKind::String) {
            column.ends.push_back(static_cast<std::uint32_t>(column.bytes.size()));
        } else {
            column.values.push_back(0);
        }
        column.nulls.push_back(1);
    }
    ++rowCount_;
}

void RowStore::clear() {
    for (auto& column : columns_) {
        column.bytes.clear();
        column.ends.clear();
        column.values.clear();
        column.nulls.clear();
    }
    rowCount_ = 0;
}

void RowStore::setString(std::size_t column, std::string_view value) {
    Column& c = columns_[column];
    if (c.bytes.size() + value.size() > UINT32_MAX)
        throw std::length_error("The list holds more than 4 GB of text");
    c.bytes.append(value);
    c.ends.back() = static_cast<std::uint32_t>(c.bytes.size());
    c.nulls.back() = 0;
}

void RowStore::setBoolean(std::size_t column, bool value) {
    columns_[column].values.back() = value ? 1 : 0;
    columns_[column].nulls.back() = 0;
}

void RowStore::setDate(std::size_t column, engine::DayNumber value) {
    columns_[column].values.back() = value;
    columns_[column].nulls.back() = 0;
}

void RowStore::setInteger(int row, std::size_t column, std::int32_t value) {
    columns_[column].values[static_cast<std::size_t>(row)] = value;
    columns_[column].nulls[static_cast<std::size_t>(row)] = 0;
}

} // namespace data

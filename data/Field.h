#pragma once

#include "engine/Date.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace data {

class Query;

enum class FieldKind { String, Boolean, Date, Integer };

// The type name of a field kind as messages show it ("String", "Boolean", "Date", "Integer").
const char* fieldKindName(FieldKind kind);

// One named, typed field of a query. Its value is that of the query's current row. A field belongs to its
// query and lives as long as the query does.
class Field {
public:
    Field(Query& owner, std::size_t index, std::string name, FieldKind kind, int size, bool calculated);
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    const std::string& fieldName() const { return name_; }
    FieldKind kind() const { return kind_; }
    // Maximum length in characters for strings; 0 for the other kinds.
    int size() const { return size_; }
    bool calculated() const { return calculated_; }
    std::size_t index() const { return index_; }

    // The value of the current row. REQUIRES: the query is open and not empty.
    // A null string reads as the empty string, a null boolean as false.
    bool isNull() const;
    std::string_view asString() const;
    bool asBoolean() const;
    // The date's day number; REQUIRES: !isNull().
    engine::DayNumber asDate() const;
    std::int32_t asInteger() const;

    // Sets a calculated field's value; only while the query works out its calculated fields.
    void setInteger(std::int32_t value);

private:
    void requireKind(FieldKind expected) const;

    Query& owner_;
    std::size_t index_;
    std::string name_;
    FieldKind kind_;
    int size_;
    bool calculated_;
};

} // namespace data

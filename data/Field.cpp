#include "data/Field.h"

#include "data/DataError.h"
#include "data/Query.h"
#include "data/RowStore.h"

namespace data {

const char* fieldKindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::String:
        return "String";
    case FieldKind::Boolean:
        return "Boolean";
    case FieldKind::Date:
        return "Date";
    case FieldKind::Integer:
        return "Integer";
    }
    return "Unknown";
}

Field::Field(Query& owner, std::size_t index, std::string name, FieldKind kind, int size, bool calculated)
    : owner_(owner), index_(index), name_(std::move(name)), kind_(kind), size_(size), calculated_(calculated) {}

void Field::requireKind(FieldKind expected) const {
    if (kind_ != expected)
        throw DataError(owner_.name(),
                        std::string("Field '") + name_ + "' is not a " + fieldKindName(expected) + " field");
}

bool Field::isNull() const { return owner_.rows().isNull(owner_.recNo(), index_); }

std::string_view Field::asString() const {
    requireKind(FieldKind::String);
    return owner_.rows().string(owner_.recNo(), index_);
}

bool Field::asBoolean() const {
    requireKind(FieldKind::Boolean);
    return owner_.rows().boolean(owner_.recNo(), index_);
}

engine::DayNumber Field::asDate() const {
    requireKind(FieldKind::Date);
    return owner_.rows().date(owner_.recNo(), index_);
}

std::int32_t Field::asInteger() const {
    requireKind(FieldKind::Integer);
    return owner_.rows().integer(owner_.recNo(), index_);
}

void Field::setInteger(std::int32_t value) {
    requireKind(FieldKind::Integer);
    owner_.rows().setInteger(owner_.recNo(), index_, value);
}

} // namespace data

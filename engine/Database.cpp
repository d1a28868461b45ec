#include "engine/Database.h"

namespace engine {

const char* columnTypeName(ColumnType type) {
    switch (type) {
    case ColumnType::String:
        return "String";
    case ColumnType::Boolean:
        return "Boolean";
    case ColumnType::Date:
        return "Date";
    case ColumnType::Integer:
        return "Integer";
    case ColumnType::Float:
        return "Float";
    case ColumnType::Unknown:
        return "Unknown";
    }
    return "Unknown";
}

} // namespace engine

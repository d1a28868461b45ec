#include "RegisterTables.h"

namespace registercopy {

const std::vector<TableSpec>& registerTables() {
    static const std::vector<TableSpec> tables = {
        {"Lekari",
         {{"LEKAR_S", ColumnKind::Text, "TEXT(6)", "varchar(6)"},
          {"PRE", ColumnKind::Text, "TEXT", "text"},
          {"IME", ColumnKind::Text, "TEXT", "text"},
          {"OPS_S", ColumnKind::Text, "TEXT(3)", "varchar(3)"},
          {"AKTIVEN", ColumnKind::Boolean, "BOOLEAN", "boolean"}}},
        {"Osigurenici",
         {{"MB", ColumnKind::Text, "TEXT(13)", "varchar(13)"},
          {"PRE", ColumnKind::Text, "TEXT(20)", "varchar(20)"},
          {"TIME", ColumnKind::Text, "TEXT(15)", "varchar(15)"},
          {"IME", ColumnKind::Text, "TEXT(15)", "varchar(15)"},
          {"LEKAR_S", ColumnKind::Text, "TEXT(6)", "varchar(6)"},
          {"BR_PRI", ColumnKind::Text, "TEXT(8)", "varchar(8)"},
          {"UCEN_30", ColumnKind::Boolean, "BOOLEAN", "boolean"},
          {"UCEN_70", ColumnKind::Boolean, "BOOLEAN", "boolean"},
          {"DATA_PRI", ColumnKind::Date, "DATE", "date"},
          {"BR_ODJ", ColumnKind::Text, "TEXT", "text"}}},
    };
    return tables;
}

} // namespace registercopy

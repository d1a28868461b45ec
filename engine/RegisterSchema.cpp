#include "engine/RegisterSchema.h"

#include <stdexcept>

namespace engine {

const RegisterColumn& RegisterTable::column(std::string_view columnName) const {
    for (const auto& c : columns)
        if (c.name == columnName)
            return c;
    throw std::logic_error("the register's table " + std::string(name) + " has no column " + std::string(columnName));
}

const RegisterTable& doctorTable() {
    static const RegisterTable table{"Lekari",
                                     {{"LEKAR_S", ColumnKind::Text, 6, 6},
                                      {"PRE", ColumnKind::Text, 0, 30},
                                      {"IME", ColumnKind::Text, 0, 30},
                                      {"OPS_S", ColumnKind::Text, 3, 3},
                                      {"AKTIVEN", ColumnKind::Boolean}}};
    return table;
}

const RegisterTable& insuredTable() {
    static const RegisterTable table{"Osigurenici",
                                     {{"MB", ColumnKind::Text, 13, 13},
                                      {"PRE", ColumnKind::Text, 20, 20},
                                      {"TIME", ColumnKind::Text, 15, 15},
                                      {"IME", ColumnKind::Text, 15, 15},
                                      {"LEKAR_S", ColumnKind::Text, 6, 6},
                                      {"BR_PRI", ColumnKind::Text, 8, 8},
                                      {"UCEN_30", ColumnKind::Boolean},
                                      {"UCEN_70", ColumnKind::Boolean},
                                      {"DATA_PRI", ColumnKind::Date},
                                      {"BR_ODJ", ColumnKind::Text, 0, 8}}};
    return table;
}

const std::vector<const RegisterTable*>& registerTables() {
    static const std::vector<const RegisterTable*> tables{&doctorTable(), &insuredTable()};
    return tables;
}

std::string columnType(const RegisterColumn& column, SqlStore store) {
    const bool sqlite = store == SqlStore::Sqlite;
    switch (column.kind) {
    case ColumnKind::Boolean:
        return sqlite ? "BOOLEAN" : "boolean";
    case ColumnKind::Date:
        return sqlite ? "DATE" : "date";
    case ColumnKind::Text:
        break;
    }
    if (column.size == 0)
        return sqlite ? "TEXT" : "text";
    return (sqlite ? "TEXT(" : "varchar(") + std::to_string(column.size) + ")";
}

std::string createTableStatement(const RegisterTable& table, SqlStore store) {
    std::string sql = "CREATE TABLE " + std::string(table.name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        sql += (i ? ", " : "") + std::string(table.columns[i].name) + " " + columnType(table.columns[i], store);
    return sql + ")";
}

std::string createIndexStatement() { return "CREATE INDEX Osigurenici_LEKAR_S ON Osigurenici (LEKAR_S)"; }

std::string selectAllStatement(const RegisterTable& table) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        sql += (i ? ", " : "") + std::string(table.columns[i].name);
    return sql + " FROM " + std::string(table.name);
}

} // namespace engine

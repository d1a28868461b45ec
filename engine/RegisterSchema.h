#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The register's two tables, Lekari (doctors) and Osigurenici (insured persons), with the columns the program
// reads, in their order. The lists take their field sizes from here, and every tool and test fixture that
// writes a register creates its tables from here.

enum class ColumnKind { Text, Boolean, Date };

struct RegisterColumn {
    std::string_view name;
    ColumnKind kind;
    // The most characters a text holds in an SQL register; 0 when the column is not bounded there.
    int size = 0;
    // The width of the Alpha field in the legacy Paradox tables (text columns only).
    int paradoxWidth = 0;
};

struct RegisterTable {
    std::string_view name;
    std::vector<RegisterColumn> columns;

    // REQUIRES: the table has a column of that name (exact spelling); a missing one is a programming error
    // and throws std::logic_error.
    const RegisterColumn& column(std::string_view columnName) const;
};

const RegisterTable& doctorTable();  // Lekari
const RegisterTable& insuredTable(); // Osigurenici
// Both tables, doctors first.
const std::vector<const RegisterTable*>& registerTables();

// The capitation percentage of an insured person from the flags of Osigurenici: 70 when UCEN_70 is set, else 30
// when UCEN_30 is set, else 100.
constexpr std::int32_t capitationPercent(bool ucen30, bool ucen70) { return ucen70 ? 70 : ucen30 ? 30 : 100; }

// The SQL stores a register can be written to.
enum class SqlStore { Sqlite, Postgres };

// A column's declared type: the engine recognises the SQLite kinds by these names ("TEXT(13)", "BOOLEAN",
// "DATE"); on a server they are "varchar(13)", "text", "boolean" and "date".
std::string columnType(const RegisterColumn& column, SqlStore store);
// "CREATE TABLE Lekari (LEKAR_S TEXT(6), ...)".
std::string createTableStatement(const RegisterTable& table, SqlStore store);
// The index on Osigurenici.LEKAR_S that the insured-person list is looked up by.
std::string createIndexStatement();
// "SELECT LEKAR_S, PRE, ... FROM Lekari": every column of the table, in the table's order.
std::string selectAllStatement(const RegisterTable& table);

} // namespace engine

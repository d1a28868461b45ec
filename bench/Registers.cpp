#include "Registers.h"

#include "engine/SqliteHandles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sqlite3.h>

namespace bench {
namespace {

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench: failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// A register made by the demo generator and then adjusted by `sql` (when not empty), kept once made.
fs::path cachedRegister(const fs::path& data, const std::string& name, const std::string& generatorArguments,
                        const std::string& sql) {
    const fs::path path = data / (name + ".sqlite");
    if (fs::exists(path))
        return path;
    const fs::path building = data / (name + ".building.sqlite");
    fs::remove(building);
    run(std::string(PELMAROT_DEMO_DB) + " " + generatorArguments + " " + building.string() + " >/dev/null");
    if (!sql.empty())
        run("sqlite3 " + building.string() + " \"" + sql + "\"");
    fs::rename(building, path);
    return path;
}

} // namespace

fs::path bigRegister(const fs::path& data) {
    return cachedRegister(
        data, "register-2m", "--doctors 1000 --persons 2000000 --seed 7",
        "UPDATE Osigurenici SET LEKAR_S='BIG200', BR_ODJ=NULL WHERE rowid <= 200000;"
        " UPDATE Osigurenici SET LEKAR_S='BIG100', BR_ODJ=NULL WHERE rowid > 200000 AND rowid <= 300000;"
        " INSERT INTO Lekari VALUES ('BIG200','Golem','Lekar','001',1), ('BIG100','Sreden','Lekar','001',1);");
}

fs::path manyDoctorsRegister(const fs::path& data) {
    return cachedRegister(data, "register-10k-doctors", "--doctors 10000 --persons 50000 --seed 3",
                          "UPDATE Lekari SET AKTIVEN=1");
}

fs::path largeRegister(const fs::path& data) {
    return cachedRegister(data, "register-10m", "--doctors 1000 --persons 10000000 --seed 7", "");
}

fs::path writeAlias(const fs::path& file, const std::string& driver, const fs::path& path) {
    std::ofstream(file) << "[kapitacija]\ndriver = " << driver << "\npath = " << path.string() << "\n";
    return file;
}

fs::path sqliteAlias(const fs::path& database) {
    return writeAlias(fs::path(database).replace_extension(".ini"), "sqlite", database);
}

std::vector<std::string> sqlColumn(const fs::path& database, const std::string& sql) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const engine::SqliteConnection db(raw);
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &rawStatement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bench: %s: %s\n", database.c_str(), sqlite3_errmsg(db.get()));
        std::exit(1);
    }
    const engine::SqliteStatement statement(rawStatement);
    std::vector<std::string> values;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(statement.get(), 0);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    return values;
}

std::string sqlScalar(const fs::path& database, const std::string& sql) {
    const std::vector<std::string> values = sqlColumn(database, sql);
    return values.empty() ? std::string() : values.front();
}

std::vector<std::string> doctorsNear(const fs::path& database, int persons, int count) {
    return sqlColumn(database, "SELECT o.LEKAR_S FROM Osigurenici o JOIN Lekari l ON l.LEKAR_S = o.LEKAR_S "
                               "WHERE l.AKTIVEN = 1 AND o.BR_ODJ IS NULL AND o.LEKAR_S NOT LIKE 'BIG%' "
                               "GROUP BY o.LEKAR_S ORDER BY abs(count(*) - " +
                                   std::to_string(persons) + "), o.LEKAR_S LIMIT " + std::to_string(count));
}

std::string doctorWithoutPersons(const fs::path& database) {
    return sqlScalar(database, "SELECT LEKAR_S FROM Lekari WHERE AKTIVEN = 1 AND "
                               "LEKAR_S NOT IN (SELECT LEKAR_S FROM Osigurenici) LIMIT 1");
}

long long monthEndRows(const fs::path& database) {
    return std::stoll(sqlScalar(database, "SELECT count(*) FROM Osigurenici o JOIN Lekari l ON o.LEKAR_S = l.LEKAR_S "
                                          "WHERE l.AKTIVEN = 1 AND o.BR_ODJ IS NULL"));
}

} // namespace bench

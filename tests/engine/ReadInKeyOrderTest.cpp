// Database::readInKeyOrder: the one read of a table in the order of a key, which a month end's one pass takes,
// is offered only where it gives each doctor's rows in the order of the doctor's own list.
#include "data/Connection.h"
#include "engine/ParadoxFixtures.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::vector<DoctorRow> kDoctors = {{"A1", "Petrovski", "Ilija"}, {"B2", "Nikolov", "Ivan"}};
const std::vector<PersonRow> kPersons = {
    {"1000001", "Prezime", "T", "Ime", "A1", "1", false, true, "2010-01-01", std::nullopt},
    {"1000002", "Prezime", "T", "Ime", "B2", "2", true, false, std::nullopt, std::string("O2")}};

} // namespace

TEST(ReadInKeyOrder, TheDatabaseOffersItOnlyWhereItKeepsEachDoctorsOrder) {
    TempDir dir;
    const std::string path = dir.file("k.sqlite");
    const auto offered = [&](const std::string& sql) {
        fs::remove(path);
        writeSqliteRegister(path, kDoctors, {});
        if (!sql.empty())
            runSql(path, sql);
        AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(path));
        data::Connection connection;
        connection.open();
        return connection.database().readInKeyOrder("Osigurenici", "LEKAR_S", "BR_ODJ") != nullptr;
    };
    EXPECT_TRUE(offered(""));
    EXPECT_TRUE(offered("CREATE UNIQUE INDEX ByMb ON Osigurenici (MB)"));
    EXPECT_TRUE(offered("CREATE INDEX ByDoctorOut ON Osigurenici (BR_ODJ, LEKAR_S)"));
    EXPECT_FALSE(offered("CREATE INDEX ByDoctorAndMb ON Osigurenici (LEKAR_S, MB)"));
    EXPECT_FALSE(offered("CREATE INDEX ByOutAndName ON Osigurenici (BR_ODJ, PRE)"));
    EXPECT_FALSE(offered("CREATE INDEX ByExpression ON Osigurenici (LEKAR_S, lower(PRE))"));
    EXPECT_FALSE(offered("DROP TABLE Osigurenici; CREATE VIEW Osigurenici AS SELECT 1 AS LEKAR_S, 2 AS BR_ODJ"));

    // Paradox tables: any alpha field, but not a field of another kind, which SQLite compares by converting it.
    fs::create_directories(dir.file("px"));
    writeParadoxRegister(dir.file("px"), kDoctors, kPersons);
    AliasFileScope scope(dir.file("aliases.ini"), paradoxAlias(dir.file("px")));
    data::Connection connection;
    connection.open();
    EXPECT_NE(connection.database().readInKeyOrder("Osigurenici", "LEKAR_S", "BR_ODJ"), nullptr);
    EXPECT_NE(connection.database().readInKeyOrder("Osigurenici", "BR_PRI", "BR_ODJ"), nullptr);
    EXPECT_EQ(connection.database().readInKeyOrder("Osigurenici", "UCEN_30", "BR_ODJ"), nullptr);
}

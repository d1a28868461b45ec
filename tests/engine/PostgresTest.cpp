// The postgresql driver against a real server started by the test command.
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "support/Failures.h"
#include "support/FixtureRegister.h"
#include "support/ListsAsText.h"
#include "support/PostgresRegister.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::vector<DoctorRow> fixtureDoctors() {
    // The municipality "7" is padded to "7  " by the server's char(3) and stored so in SQLite: nothing is trimmed.
    return {{"100001", "Petrovski", "Ilija", "7  "}, {"A1", "Ќирил", "Ана"}, {"9", "Off", "Line", "002", false},
            {"E", "Empty", "Doc"}};
}

std::vector<PersonRow> fixturePersons() {
    std::vector<PersonRow> persons;
    for (int i = 0; i < 12; ++i) {
        PersonRow p{std::to_string(1000 + i), i % 3 ? "Петровска" : "", "Ilija", "Ана", i % 2 ? "100001" : "A1",
                    std::to_string(i), i % 4 == 1, i % 4 >= 2, i % 5 ? std::optional<std::string>("2001-02-0" + std::to_string(1 + i % 9)) : std::nullopt,
                    i == 7 ? std::optional<std::string>("99") : std::nullopt};
        persons.push_back(p);
    }
    return persons;
}

class Postgres : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testServerFolder())
            GTEST_SKIP() << "no PostgreSQL test server (PELMAROT_PG_SOCKET is not set; the test command starts one)";
        // Never a password from the developer's own ~/.pgpass.
        setenv("PGPASSFILE", dir_.file("no-pgpass").c_str(), 1);
        database_ = writePostgresRegister(fixtureDoctors(), fixturePersons());
    }

    TempDir dir_;
    std::string database_;
};

} // namespace

TEST_F(Postgres, BothListsGiveWhatTheSameRegisterGivesInSqlite) {
    writeSqliteRegister(dir_.file("k.sqlite"), fixtureDoctors(), fixturePersons());
    const auto fromSqlite = listsAsText(AliasFileScope::sqliteAlias(dir_.file("k.sqlite")), dir_);
    const auto fromServer = listsAsText(postgresAlias(database_), dir_);
    EXPECT_EQ(fromServer, fromSqlite);
    EXPECT_GT(fromServer.size(), 10u);
}

TEST_F(Postgres, NoStatementCanWriteAndFailuresCarryTheServersMessage) {
    AliasFileScope scope(dir_.file("a.ini"), postgresAlias(database_));
    engine::Engine engine;
    auto db = engine.openDatabase("kapitacija");
    const std::string refused = failureOf([&] { db->execute("delete from Lekari", {}); });
    EXPECT_NE(refused.find("read-only transaction"), std::string::npos) << refused;
    const std::string alsoRefused =
        failureOf([&] { db->execute("select * from Lekari; set transaction read write; delete from Lekari", {}); });
    EXPECT_NE(alsoRefused, "(no failure)");
    auto count = db->execute("select count(*) as n from Lekari", {});
    ASSERT_TRUE(count->next());
    EXPECT_EQ(count->integer(0), 4);
    const std::string missing = failureOf([&] { db->execute("select * from Nowhere", {}); });
    EXPECT_NE(missing.find("\"nowhere\" does not exist"), std::string::npos) << missing;
}

TEST_F(Postgres, APasswordIsAskedForGivenWrongAndCancelled) {
    AliasFileScope scope(dir_.file("a.ini"), postgresAlias(database_, "clerk"));
    std::vector<std::string> answers;
    int asked = 0;
    const auto connectWith = [&](std::vector<std::optional<std::string>> replies) {
        asked = 0;
        data::Connection kdb;
        kdb.setPasswordPrompt([&, replies](const std::string&) -> std::optional<std::string> {
            return replies.at(static_cast<std::size_t>(asked++));
        });
        kdb.open();
        data::DoctorList doctors(kdb);
        doctors.open();
        return doctors.recordCount();
    };
    EXPECT_EQ(connectWith({"clerk-secret"}), 3);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(connectWith({"wrong", "clerk-secret"}), 3);
    EXPECT_EQ(asked, 2);
    const std::string cancelled = failureOf([&] { connectWith({"wrong", std::nullopt}); });
    EXPECT_EQ(asked, 2);
    EXPECT_NE(cancelled.find("Cannot connect to the PostgreSQL database " + database_), std::string::npos) << cancelled;
    EXPECT_NE(cancelled.find("password authentication failed for user \"clerk\""), std::string::npos) << cancelled;
}

TEST_F(Postgres, AReloadAfterARestartReconnectsAndAStoppedServerIsAnErrorUntilItIsBack) {
    AliasFileScope scope(dir_.file("a.ini"), postgresAlias(database_));
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    list.reload("A1");
    const int rows = list.recordCount();
    EXPECT_GT(rows, 0);

    controlTestServer("restart");
    list.reload("A1");
    EXPECT_EQ(list.recordCount(), rows);

    controlTestServer("halt");
    const std::string down = failureOf([&] { list.reload("A1"); });
    EXPECT_NE(down.find("Lost the connection to the PostgreSQL database"), std::string::npos) << down;
    EXPECT_FALSE(list.active());
    controlTestServer("resume");
    list.reload("100001");
    EXPECT_GT(list.recordCount(), 0);
}

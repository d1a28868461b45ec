// The postgresql driver against a real server started by the test command.
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/Engine.h"
#include "engine/EngineError.h"
#include "support/Failures.h"
#include "support/FixtureRegister.h"
#include "support/FrozenServer.h"
#include "support/ListsAsText.h"
#include "support/PostgresRegister.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include <chrono>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

using Seconds = std::chrono::duration<double>;

// How long a frozen server process may stay stopped before the test lets it go on by itself: code that waits
// for it without a limit then fails the test instead of hanging the test run.
constexpr std::chrono::seconds kWatchdog{20};

struct TimedFailure {
    std::string message;
    Seconds took{0};
};

TimedFailure timedFailureOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    TimedFailure failure;
    failure.message = failureOf<engine::EngineError>(action);
    failure.took = std::chrono::steady_clock::now() - start;
    return failure;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<DoctorRow> fixtureDoctors() {
    // The municipality "7  " keeps its trailing blanks through the server and into SQLite: nothing is trimmed.
    return {{"100001", "Petrovski", "Ilija", "7  "},
            {"A1", "Ќирил", "Ана"},
            {"9", "Off", "Line", "002", false},
            {"E", "Empty", "Doc"}};
}

std::vector<PersonRow> fixturePersons() {
    std::vector<PersonRow> persons;
    for (int i = 0; i < 12; ++i) {
        PersonRow p{std::to_string(1000 + i),
                    i % 3 ? "Петровска" : "",
                    "Ilija",
                    "Ана",
                    i % 2 ? "100001" : "A1",
                    std::to_string(i),
                    i % 4 == 1,
                    i % 4 >= 2,
                    i % 5 ? std::optional<std::string>("2001-02-0" + std::to_string(1 + i % 9)) : std::nullopt,
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

// The register over an alias with a two-second timeout, the insured-person list loaded for doctor A1.
class PostgresWithTimeout : public Postgres {
protected:
    void SetUp() override {
        Postgres::SetUp();
        if (IsSkipped())
            return;
        scope_ = std::make_unique<AliasFileScope>(dir_.file("a.ini"), postgresAlias(database_) + "timeout = 2\n");
        kdb_.open();
        list_.reload("A1");
        rows_ = list_.recordCount();
        ASSERT_GT(rows_, 0);
    }

    std::unique_ptr<AliasFileScope> scope_;
    data::Connection kdb_;
    data::InsuredList list_{kdb_};
    int rows_ = 0;
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

TEST_F(PostgresWithTimeout, AStoppedSessionFailsTheReloadWithinTheTimeoutAndTheNextReloadWorks) {
    data::InsuredList& list = list_;
    const int rows = rows_;

    TimedFailure frozen;
    {
        StoppedProcess session(sessionProcess(database_), kWatchdog);
        frozen = timedFailureOf([&] { list.reload("100001"); });
        EXPECT_FALSE(session.resumedByWatchdog()) << "the reload waited for the stopped server";
    }
    EXPECT_TRUE(contains(frozen.message, "The PostgreSQL database " + database_ + " (alias ")) << frozen.message;
    EXPECT_TRUE(contains(frozen.message, " did not answer in 2 seconds\n")) << frozen.message;
    EXPECT_GE(frozen.took.count(), 1.9);
    EXPECT_LT(frozen.took.count(), 8.0);
    EXPECT_FALSE(list.active());

    list.reload("A1");
    EXPECT_EQ(list.recordCount(), rows);
}

TEST_F(PostgresWithTimeout, AFrozenServerFailsStatementsAndConnectionsWithinTheTimeoutUntilItGoesOn) {
    data::InsuredList& list = list_;
    const int rows = rows_;

    // The main process is frozen too: it answers neither the cancel request nor a new connection.
    TimedFailure statement, reconnect, connect;
    {
        const pid_t sessionPid = sessionProcess(database_);
        StoppedProcess server(serverProcess(), kWatchdog);
        StoppedProcess session(sessionPid, kWatchdog);
        statement = timedFailureOf([&] { list.reload("A1"); });
        reconnect = timedFailureOf([&] { list.reload("A1"); });
        connect = timedFailureOf([&] {
            engine::Engine engine;
            engine.openDatabase("kapitacija");
        });
        EXPECT_FALSE(server.resumedByWatchdog() || session.resumedByWatchdog()) << "a wait for the frozen server";
    }
    EXPECT_TRUE(contains(statement.message, "did not answer in 2 seconds")) << statement.message;
    EXPECT_TRUE(contains(reconnect.message, "Lost the connection to the PostgreSQL database " + database_))
        << reconnect.message;
    EXPECT_TRUE(contains(connect.message, "Cannot connect to the PostgreSQL database " + database_)) << connect.message;
    for (const auto& failure : {reconnect, connect})
        EXPECT_TRUE(contains(failure.message, "timeout expired")) << failure.message;
    for (const auto& failure : {statement, reconnect, connect})
        EXPECT_LT(failure.took.count(), 8.0) << failure.message;

    list.reload("A1");
    EXPECT_EQ(list.recordCount(), rows);
}

TEST_F(Postgres, TheAliasOwnOptionsAndApplicationNameAreKeptWhileTheSessionStaysReadOnly) {
    runPostgresSql(database_, "CREATE SCHEMA reg; ALTER TABLE Lekari SET SCHEMA reg;"
                              "ALTER TABLE Osigurenici SET SCHEMA reg; GRANT USAGE ON SCHEMA reg TO clerk");
    // The user's own attempt to make the session writable loses to the engine's setting.
    AliasFileScope scope(dir_.file("a.ini"), postgresAlias(database_) +
                                                 "options = -c search_path=reg -c default_transaction_read_only=off\n"
                                                 "application_name = desk 7\nclient_encoding = utf8\n");
    engine::Engine engine;
    auto db = engine.openDatabase("kapitacija");
    {
        auto count = db->execute("select count(*) as n from Lekari", {});
        ASSERT_TRUE(count->next());
        EXPECT_EQ(count->integer(0), 4);
    }
    {
        auto session = db->execute("select current_setting('application_name') as a,"
                                   " current_setting('default_transaction_read_only') as r",
                                   {});
        ASSERT_TRUE(session->next());
        EXPECT_EQ(session->text(0), "desk 7");
        EXPECT_EQ(session->text(1), "on");
    }
    const std::string refused = failureOf([&] { db->execute("delete from Lekari", {}); });
    EXPECT_TRUE(contains(refused, "read-only transaction")) << refused;
    auto stillThere = db->execute("select count(*) as n from reg.Osigurenici", {});
    ASSERT_TRUE(stillThere->next());
    EXPECT_EQ(stillThere->integer(0), 12);
}

// Checked before any connection is tried, so no server is needed.
TEST(PostgresAlias, ATimeoutOrClientEncodingTheEngineCannotKeepIsRefusedNamingTheAlias) {
    TempDir dir;
    const std::string file = dir.file("a.ini");
    const std::string seconds = "' is not a number of seconds from 1 to 86400";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"timeout = 0", "'timeout = 0" + seconds},
        {"timeout = 2.5", "'timeout = 2.5" + seconds},
        {"timeout = -3", "'timeout = -3" + seconds},
        {"timeout = soon", "'timeout = soon" + seconds},
        {"timeout = 86401", "'timeout = 86401" + seconds},
        {"timeout = 99999999999999999999", "'timeout = 99999999999999999999" + seconds},
        {"timeout =", "'timeout = " + seconds},
        {"client_encoding = LATIN1", "'client_encoding = LATIN1' is not supported; the server's text is read as "
                                     "UTF8 and converted to the code page named by 'codepage'"},
    };
    for (const auto& [entry, message] : cases) {
        AliasFileScope scope(file, "[kapitacija]\ndriver = postgresql\nhost = " + dir.path() + "\n" + entry + "\n");
        engine::Engine engine;
        EXPECT_EQ(failureOf([&] { engine.openDatabase("kapitacija"); }),
                  "Alias 'kapitacija' in " + file + ": " + message)
            << entry;
    }
}

// A server that stops answering part-way through a month end: the run ends within about the timeout with one
// failure naming the server, the doctors it did not write counted, no temporary file left, and the session goes
// once the server goes on. The server freezes while it sends the month end's one read of the register (a COPY).
TEST_F(Postgres, AMonthEndEndsWithinTheTimeoutWhenTheServerFreezesPartWay) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    ASSERT_FALSE(exporter.empty()) << "PELMAROT_EXPORT_EXE names the tool";
    const std::string database = writeUniformPostgresRegister(400, 500);
    AliasFileScope scope(dir_.file("a.ini"), postgresAlias(database) + "timeout = 2\n");
    const std::string out = dir_.file("out");
    fs::create_directories(out);
    CopyGate gate(database, [&](const std::string& sql) { return postgresColumn(database, sql); });
    ChildProcess run(exporter, {"--all", "--out", out}, dir_.file("a.ini"), dir_.file("errors"));
    ASSERT_TRUE(gate.holdMidCopy(run)) << "the month end's read never got under way";

    const FrozenServerRun frozen = runWithServerFrozen(run, database, std::chrono::seconds(30));
    EXPECT_FALSE(frozen.waitedForTheServer) << run.errors();
    EXPECT_EQ(describeStatus(frozen.status), "exit status 1");
    EXPECT_LT(frozen.took.count(), 8.0);
    const std::string errors = run.errors();
    std::size_t silences = 0;
    for (const std::string& line : linesOf(errors))
        silences += contains(line, "did not answer in 2 seconds") ? 1 : 0;
    EXPECT_EQ(silences, 1u) << errors;
    EXPECT_TRUE(contains(errors, "doctors were not exported")) << errors;
    const std::size_t written = folderEntries(out).size();
    EXPECT_TRUE(contains(run.output(), std::to_string(written) + " of 400 files written")) << run.output();
    for (const std::string& name : folderEntries(out))
        EXPECT_NE(name.front(), '.') << "left behind: " << name;
    std::vector<std::string> sessions;
    for (int i = 0; i < 100; ++i) {
        sessions = postgresColumn("postgres", "SELECT pid FROM pg_stat_activity WHERE datname = '" + database + "'");
        if (sessions.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(sessions.size(), 0u) << "the abandoned session stays on the server";
}

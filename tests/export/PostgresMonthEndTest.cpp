// The month end over a PostgreSQL register: its one read of the whole table (a COPY) against the window's way,
// one statement per doctor, file for file, however the table's rows lie on the server's pages.
#include "data/Connection.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "export/MonthEnd.h"
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"
#include "support/FrozenServer.h"
#include "support/PostgresRegister.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<DoctorRow> doctors() {
    return {{"A1", "Petrovski", "Ilija"},
            {"B2", "Nikolov", "Ivan"},
            {"C3", "Ristov", "Goran"},
            {"D4", "Kostov", "Zoran", "001", false}};
}

// Persons of every doctor in turn, with texts that COPY escapes (a tab, a backslash, a line end), blanks (NULL)
// and texts the code page cannot hold.
std::vector<PersonRow> persons() {
    const char* codes[] = {"A1", "B2", "C3", "D4", "Z9"};
    std::vector<PersonRow> rows;
    for (int i = 0; i < 3000; ++i) {
        PersonRow row{std::to_string(1000000 + i),
                      "Prezime" + std::to_string(i % 13),
                      i % 7 ? "T" : "a\tb\\c\nd",
                      i % 5 ? "Ime" : "Hoxhë",
                      codes[i % 5],
                      std::to_string(i),
                      i % 3 == 0,
                      i % 4 == 0,
                      "20" + std::to_string(10 + i % 10) + "-0" + std::to_string(1 + i % 9) + "-15",
                      std::nullopt};
        if (i % 11 == 0)
            row.deregistrationNumber = "O" + std::to_string(i);
        if (i % 29 == 0)
            row.registrationDate.reset();
        rows.push_back(row);
    }
    return rows;
}

// Every active doctor exported one way, and what the month end said of each.
std::vector<std::string> exportAll(const std::string& folder, exportfile::MonthEnd::Way way) {
    fs::create_directories(folder);
    exportfile::MonthEnd monthEnd("kapitacija", data::RegionalSettings::defaults());
    std::vector<std::string> outcomes;
    const exportfile::MonthEndLedger ledger = monthEnd.run(monthEnd.activeDoctorCodes(), folder, {}, way);
    for (const auto& result : ledger.results()) {
        outcomes.push_back(result.code + ": " + (result.written() ? std::to_string(result.rows) : result.failure));
        for (const auto& warning : result.warnings)
            outcomes.push_back("  " + warning);
    }
    return outcomes;
}

} // namespace

// The rows of a table written, updated, deleted and inserted again lie on its pages in another order than they
// were registered in. The one read and the statements per doctor agree file for file, whether a doctor's
// statement reads the index, the table, or (where a server would run them) several processes at once.
TEST(PostgresMonthEnd, TheOneReadWritesWhatTheStatementsPerDoctorWriteInTheOrderOfThePages) {
    if (!testServerFolder())
        GTEST_SKIP() << "no PostgreSQL test server (the test command starts one)";
    TempDir dir;
    const std::string database = writePostgresRegister(doctors(), persons());
    runPostgresSql(database, "UPDATE osigurenici SET pre = pre || '+' WHERE mb::bigint % 3 = 0;"
                             "CREATE TABLE moved AS SELECT * FROM osigurenici WHERE mb::bigint % 7 = 1;"
                             "DELETE FROM osigurenici WHERE mb::bigint % 7 = 1");
    runPostgresSql(database, "VACUUM osigurenici");
    runPostgresSql(database, "INSERT INTO osigurenici SELECT * FROM moved ORDER BY mb DESC; DROP TABLE moved");
    ASSERT_NE(postgresColumn(database, "SELECT string_agg(mb, ',') FROM (SELECT mb FROM osigurenici LIMIT 20) f"),
              postgresColumn(database, "SELECT string_agg(mb, ',') FROM (SELECT mb FROM osigurenici ORDER BY mb "
                                       "LIMIT 20) f"))
        << "the pages were meant to hold the rows out of their order";
    AliasFileScope scope(dir.file("aliases.ini"), postgresAlias(database));
    {
        data::Connection connection;
        connection.open();
        ASSERT_NE(connection.database().readInKeyOrder("Osigurenici", "LEKAR_S", "BR_ODJ"), nullptr);
        // What keeps the orders alike: scans start at the first page and run in one process.
        const auto setting = [&](const char* name) {
            auto cursor = connection.database().execute(std::string("show ") + name, {});
            return cursor->next() ? std::string(cursor->text(0)) : std::string();
        };
        EXPECT_EQ(setting("synchronize_seqscans"), "off");
        EXPECT_EQ(setting("max_parallel_workers_per_gather"), "0");
    }
    const std::vector<std::pair<std::string, std::string>> plans = {
        {"index", ""},
        {"table", "ALTER DATABASE " + database + " SET enable_indexscan = off; ALTER DATABASE " + database +
                      " SET enable_bitmapscan = off"},
        {"parallel", "ALTER DATABASE " + database + " SET parallel_setup_cost = 0; ALTER DATABASE " + database +
                         " SET parallel_tuple_cost = 0; ALTER DATABASE " + database +
                         " SET min_parallel_table_scan_size = 0; ALTER DATABASE " + database +
                         " SET max_parallel_workers_per_gather = 4"}};
    for (const auto& [plan, sql] : plans) {
        if (!sql.empty())
            runPostgresSql("postgres", sql);
        const std::string out = dir.file(plan);
        const auto byStatements = exportAll(out + "/statements", exportfile::MonthEnd::Way::ReloadEach);
        const auto byOneRead = exportAll(out + "/one-read", exportfile::MonthEnd::Way::OnePass);
        EXPECT_EQ(byOneRead, byStatements) << plan;
        EXPECT_EQ(filesIn(out + "/one-read"), filesIn(out + "/statements")) << plan;
        EXPECT_EQ(filesIn(out + "/one-read").size(), 3u) << plan;
    }
}

// A server stopped while it sends the one read: the month end fails naming the server, and writes no file it
// did not read whole.
TEST(PostgresMonthEnd, AServerStoppedWhileItSendsTheOneReadLeavesNoShortFile) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    if (!testServerFolder() || exporter.empty())
        GTEST_SKIP() << "needs the PostgreSQL test server and PELMAROT_EXPORT_EXE (the test command gives both)";
    TempDir dir;
    const std::string database = writeUniformPostgresRegister(100, 2000);
    AliasFileScope scope(dir.file("a.ini"), postgresAlias(database));
    const std::string out = dir.file("out");
    fs::create_directories(out);
    CopyGate gate(database, [&](const std::string& sql) { return postgresColumn(database, sql); });
    ChildProcess run(exporter, {"--all", "--out", out}, dir.file("a.ini"), dir.file("errors"));
    ASSERT_TRUE(gate.holdMidCopy(run)) << "the month end's read never got under way";
    runPostgresSql("postgres",
                   "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = " + sqlText(database));
    ::kill(run.pid(), SIGCONT);
    EXPECT_EQ(describeStatus(run.wait(std::chrono::seconds(60))), "exit status 1");
    EXPECT_NE(run.errors().find("PostgreSQL database " + database), std::string::npos) << run.errors();
    for (const auto& [name, bytes] : filesIn(out)) {
        EXPECT_NE(name.front(), '.') << "left behind: " << name;
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2002) << name << " is short";
    }
}

// A month end against a streaming replica: one snapshot while persons move between two doctors on the primary
// (the replica's replay waits for the read); with no delay allowed, a read the replica cancels for the primary's
// clean-up fails the run naming the conflict.
TEST(PostgresMonthEnd, OnAReplicaTheMonthEndIsOneSnapshotOrFailsNamingTheConflict) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    if (!testServerFolder() || exporter.empty() || !std::getenv("PELMAROT_PG_SCRIPT"))
        GTEST_SKIP()
            << "needs the PostgreSQL test server, its script and PELMAROT_EXPORT_EXE (the test command gives all)";
    TempDir dir;
    const std::string database = writeUniformPostgresRegister(50, 2000);
    const TestReplica replica(dir.file("replica"));
    replica.catchUp(database);
    const std::string aliases = dir.file("replica.ini");
    std::ofstream(aliases) << replica.alias(database);
    const auto dataLines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n') - 2; };

    // A writer moves a hundred persons at a time between D0 and D1 on the primary.
    std::atomic<bool> writing = true;
    std::thread writer([&] {
        for (int i = 0; writing; ++i)
            runPostgresSql(database, "UPDATE osigurenici SET lekar_s = CASE lekar_s WHEN 'D0' THEN 'D1' ELSE 'D0' "
                                     "END WHERE lekar_s IN ('D0', 'D1') AND mb::bigint % 100 = " +
                                         std::to_string(i % 100));
    });
    fs::create_directories(dir.file("snapshot"));
    const ToolOutput snapshot =
        runTool(dir.path(), "PELMAROT_ALIASES=" + aliases + " " + exporter + " --all --out " + dir.file("snapshot"));
    writing = false;
    writer.join();
    ASSERT_EQ(snapshot.status, 0) << snapshot.err.substr(0, 3000);
    EXPECT_EQ(dataLines(readFile(dir.file("snapshot/D0.txt"))) + dataLines(readFile(dir.file("snapshot/D1.txt"))),
              4000);

    // With no delay allowed, a month end whose snapshot predates a clean-up on the primary is cancelled: the month
    // end is held part-way through its read while the primary deletes persons and vacuums.
    replica.run("ALTER SYSTEM SET max_standby_streaming_delay = 0");
    replica.run("SELECT pg_reload_conf()");
    for (int i = 0;
         i < 100 && replica.column("postgres", "SHOW max_standby_streaming_delay") != std::vector<std::string>{"0"};
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CopyGate gate(database, [&](const std::string& sql) { return replica.column(database, sql); });
    fs::create_directories(dir.file("cancelled"));
    ChildProcess run(exporter, {"--all", "--out", dir.file("cancelled")}, aliases, dir.file("errors"));
    ASSERT_TRUE(gate.holdMidCopy(run)) << "the month end's read never got under way";
    runPostgresSql(database, "DELETE FROM osigurenici WHERE lekar_s = 'D49'");
    runPostgresSql(database, "VACUUM osigurenici");
    runPostgresSql("postgres", "SELECT pg_current_xact_id()"); // a commit's flush sends the clean-up to the replica
    for (int i = 0; i < 600 && !replica.replayWaitsForARead(database); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(replica.replayWaitsForARead(database));
    ::kill(run.pid(), SIGCONT);
    EXPECT_EQ(describeStatus(run.wait(std::chrono::seconds(60))), "exit status 1");
    EXPECT_NE(run.errors().find("conflict with recovery"), std::string::npos) << run.errors().substr(0, 2000);
    for (const auto& name : folderEntries(dir.file("cancelled")))
        EXPECT_NE(name.front(), '.') << "left behind: " << name;
}

// pelmarot-copy, run as the built executable (PELMAROT_COPY_EXE): registers moved between the drivers, copies
// that fail or are interrupted by signals, and text that has to arrive exactly.
#include "engine/ParadoxFixtures.h"
#include "engine/SqliteHandles.h"
#include "files/TemporaryName.h"
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"
#include "support/FrozenServer.h"
#include "support/ListsAsText.h"
#include "support/PostgresRegister.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// Every row a query gives, each value with its SQLite storage class ("text:Ана|integer:1|null:"), sorted.
std::vector<std::string> rowsOf(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const engine::SqliteConnection db(raw);
    sqlite3_stmt* rawStatement = nullptr;
    if (opened != SQLITE_OK || sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &rawStatement, nullptr) != SQLITE_OK)
        return {"cannot read " + path + ": " + sqlite3_errmsg(db.get())};
    const engine::SqliteStatement statement(rawStatement);
    std::vector<std::string> rows;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
            static const char* const kinds[] = {"", "integer", "real", "text", "blob", "null"};
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), c));
            row +=
                std::string(c ? "|" : "") + kinds[sqlite3_column_type(statement.get(), c)] + ":" + (text ? text : "");
        }
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> registerRows(const std::string& path) {
    auto rows = rowsOf(path, "SELECT * FROM Lekari");
    for (auto& row : rowsOf(path, "SELECT * FROM Osigurenici"))
        rows.push_back(std::move(row));
    return rows;
}

std::string tablesOf(const std::string& path) {
    std::string names;
    for (const auto& row : rowsOf(path, "SELECT name FROM sqlite_master WHERE type = 'table'"))
        names += (names.empty() ? "" : " ") + row;
    return names;
}

// A demo register big enough for a copy to be still running a few hundred milliseconds after it starts.
void writeBigRegister(const std::string& path) {
    const std::string command =
        toolPath("PELMAROT_DEMO_DB_EXE") + " --doctors 50 --persons 300000 " + path + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// Waits until `ready` holds while the copy runs; false when the copy ended first or a minute passed (a build
// with sanitizers copies many times slower).
bool waitWhileRunning(ChildProcess& copy, const std::function<bool()>& ready) {
    for (int i = 0; i < 6000; ++i) {
        if (!copy.running())
            return false;
        if (ready())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The hidden files a copy into `finalName` writes before the copy takes that name.
std::vector<std::string> temporaryFilesIn(const std::string& folder, const std::string& finalName) {
    std::vector<std::string> names;
    for (const auto& name : folderEntries(folder))
        if (files::isTemporaryNameFor(name, finalName) && name.rfind("." + finalName + ".", 0) == 0)
            names.push_back(name);
    return names;
}

int runCopy(const std::string& aliasFile, const std::string& from, const std::string& to, const std::string& log) {
    const std::string command = "PELMAROT_ALIASES=" + aliasFile + " " + std::getenv("PELMAROT_COPY_EXE") + " " + from +
                                " " + to + " >" + log + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CopyTool, AParadoxRegisterThroughAServerIntoSqliteGivesTheSameLists) {
    if (!testServerFolder() || !std::getenv("PELMAROT_COPY_EXE"))
        GTEST_SKIP() << "needs the PostgreSQL test server and PELMAROT_COPY_EXE (the test command gives both)";
    TempDir dir;
    // Paradox stores an empty text as blank, so the fixture has none (blank and empty differ in SQLite).
    std::vector<PersonRow> persons;
    for (int i = 0; i < 40; ++i)
        persons.push_back(
            PersonRow{std::to_string(5000 + i), i % 2 ? "Петровска" : "Nikolov", "Ilija", "Ана",
                      i % 3 ? "A1" : "100001", std::to_string(i), i % 4 == 1, i % 4 >= 2,
                      i % 7 ? std::optional<std::string>("2003-0" + std::to_string(1 + i % 9) + "-15") : std::nullopt,
                      i % 11 == 0 ? std::optional<std::string>("1") : std::nullopt});
    const std::vector<DoctorRow> doctors = {
        {"100001", "Petrovski", "Ilija"}, {"A1", "Ќирил", "Ана"}, {"9", "Off", "Line", "002", false}};
    std::filesystem::create_directories(dir.file("paradox"));
    writeParadoxRegister(dir.file("paradox"), doctors, persons);
    const std::string database = "copy_" + std::to_string(getpid());
    runPostgresSql("postgres", "CREATE DATABASE " + database);

    const std::string aliasFile = dir.file("move.ini");
    std::ofstream(aliasFile) << "[old]\ndriver = paradox\npath = " << dir.file("paradox") << "\n"
                             << postgresAlias(database, "postgres", "server")
                             << "[back]\ndriver = sqlite\npath = " << dir.file("back.sqlite") << "\n";
    ASSERT_EQ(runCopy(aliasFile, "old", "server", dir.file("log1")), 0) << readFile(dir.file("log1"));
    EXPECT_NE(readFile(dir.file("log1")).find("Osigurenici: 40 rows copied; the copy holds the same rows"),
              std::string::npos)
        << readFile(dir.file("log1"));
    ASSERT_EQ(runCopy(aliasFile, "server", "back", dir.file("log2")), 0) << readFile(dir.file("log2"));

    const auto original = listsAsText(paradoxAlias(dir.file("paradox")), dir);
    EXPECT_EQ(listsAsText(AliasFileScope::sqliteAlias(dir.file("back.sqlite")), dir), original);
    EXPECT_GT(original.size(), 20u);

    // Existing tables are never overwritten; a failed copy into a new file leaves no file.
    EXPECT_EQ(runCopy(aliasFile, "old", "server", dir.file("log3")), 1);
    EXPECT_NE(readFile(dir.file("log3")).find("already has a table Lekari; nothing was copied"), std::string::npos);
    std::ofstream(aliasFile, std::ios::app)
        << "[nowhere]\ndriver = sqlite\npath = " << dir.file("missing/x.sqlite") << "\n";
    EXPECT_EQ(runCopy(aliasFile, "old", "nowhere", dir.file("log4")), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing/x.sqlite")));
}

TEST(CopyTool, AnExistingSqliteFileKeepsItsOwnTablesWhenTheCopyFailsIsInterruptedOrKilled) {
    TempDir dir;
    writeBigRegister(dir.file("big.sqlite"));
    // A small register whose last person has a date no calendar has: the copy fails after most rows.
    std::vector<PersonRow> persons;
    for (int i = 0; i < 500; ++i)
        persons.push_back({std::to_string(7000 + i), "Hoxhë", "Çlirim", "Ана", "A1", std::to_string(i), i % 2 == 0,
                           false, std::string("2004-05-06"), std::nullopt});
    writeSqliteRegister(dir.file("bad.sqlite"), {{"A1", "Ќирил", "Ана"}}, persons);
    runSql(dir.file("bad.sqlite"), "UPDATE Osigurenici SET DATA_PRI = '2004-13-45' WHERE MB = '7499'");

    const std::string target = dir.file("mine.sqlite");
    const std::string aliasFile = dir.file("a.ini");
    std::ofstream(aliasFile) << "[big]\ndriver = sqlite\npath = " << dir.file("big.sqlite") << "\n"
                             << "[bad]\ndriver = sqlite\npath = " << dir.file("bad.sqlite") << "\n"
                             << "[mine]\ndriver = sqlite\npath = " << target << "\n";
    // Whatever happens to a copy, the owner's file is whole and holds exactly its own table.
    const auto expectUntouched = [&](const std::string& label) {
        EXPECT_EQ(rowsOf(target, "PRAGMA integrity_check"), std::vector<std::string>{"text:ok"}) << label;
        EXPECT_EQ(tablesOf(target), "text:Mine") << label;
        EXPECT_EQ(rowsOf(target, "SELECT count(*), sum(length(x)) FROM Mine"),
                  std::vector<std::string>{"integer:3000|integer:" + std::to_string(3000 * 200)})
            << label;
        runSql(target, "INSERT INTO Mine VALUES ('still writable'); DELETE FROM Mine WHERE x = 'still writable'");
    };
    runSql(target, "CREATE TABLE Mine (x TEXT);"
                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
                   "INSERT INTO Mine SELECT printf('%0200d', i) FROM n");

    ChildProcess failing(toolPath("PELMAROT_COPY_EXE"), {"bad", "mine"}, aliasFile, dir.file("bad.log"));
    EXPECT_EQ(describeStatus(failing.wait()), "exit status 1") << failing.errors();
    EXPECT_NE(failing.errors().find("Osigurenici, row 500 (MB 7499), column DATA_PRI"), std::string::npos)
        << failing.errors();
    EXPECT_NE(failing.errors().find("nothing was copied"), std::string::npos) << failing.errors();
    expectUntouched("a bad date");

    for (const int sig : {SIGINT, SIGTERM, SIGKILL}) {
        const std::string label = strsignal(sig);
        ChildProcess copy(toolPath("PELMAROT_COPY_EXE"), {"big", "mine"}, aliasFile, dir.file("signal.log"));
        // The journal exists once the copy has written into the file; by then rows are on their way.
        const bool writing = waitWhileRunning(copy, [&] {
            std::error_code ec;
            return fs::file_size(target + "-journal", ec) > 0 && fs::file_size(target, ec) > (2 << 20);
        });
        ASSERT_TRUE(writing) << label
                             << ": the copy ended, or wrote nothing for a minute, before it could be interrupted\n"
                             << copy.errors();
        kill(copy.pid(), sig);
        const int status = copy.wait();
        if (sig == SIGKILL) {
            EXPECT_EQ(describeStatus(status), describeStatus(SIGKILL)) << label;
        } else {
            EXPECT_EQ(describeStatus(status), "exit status " + std::to_string(128 + sig)) << label << copy.errors();
            EXPECT_NE(copy.errors().find("interrupted by"), std::string::npos) << copy.errors();
        }
        expectUntouched(label);
    }

    // A copy that completes puts the register next to the owner's table.
    ChildProcess complete(toolPath("PELMAROT_COPY_EXE"), {"big", "mine"}, aliasFile, dir.file("ok.log"));
    ASSERT_EQ(describeStatus(complete.wait()), "exit status 0") << complete.errors();
    EXPECT_EQ(tablesOf(target), "text:Lekari text:Mine text:Osigurenici");
    EXPECT_EQ(rowsOf(target, "SELECT count(*) FROM Mine"), std::vector<std::string>{"integer:3000"});
    EXPECT_EQ(registerRows(target), registerRows(dir.file("big.sqlite")));
}

TEST(CopyTool, ANewSqliteFileAppearsOnlyWhenCompleteAndAKilledCopyLeavesNothingInTheWay) {
    TempDir dir;
    writeBigRegister(dir.file("big.sqlite"));
    fs::create_directories(dir.file("out"));
    const std::string aliasFile = dir.file("a.ini");
    std::ofstream(aliasFile) << "[big]\ndriver = sqlite\npath = " << dir.file("big.sqlite") << "\n"
                             << "[new]\ndriver = sqlite\npath = " << dir.file("out/new.sqlite") << "\n";
    // The hidden file is made before the first row is read, and SQLite holds the rows in its cache until the
    // copy commits: the file's size says nothing of how far the copy has come, while its being there says that
    // the copy has begun and has seconds of rows before it.
    const auto startCopyAndWaitForRows = [&](ChildProcess& copy) {
        return waitWhileRunning(copy, [&] { return !temporaryFilesIn(dir.file("out"), "new.sqlite").empty(); });
    };

    ChildProcess terminated(toolPath("PELMAROT_COPY_EXE"), {"big", "new"}, aliasFile, dir.file("term.log"));
    ASSERT_TRUE(startCopyAndWaitForRows(terminated)) << terminated.errors();
    // While it runs, the folder holds only the hidden file.
    EXPECT_EQ(folderEntries(dir.file("out")), temporaryFilesIn(dir.file("out"), "new.sqlite"));
    kill(terminated.pid(), SIGTERM);
    EXPECT_EQ(describeStatus(terminated.wait()), "exit status 143");
    EXPECT_NE(terminated.errors().find("pelmarot-copy: interrupted by SIGTERM; nothing was copied"), std::string::npos)
        << terminated.errors();
    EXPECT_EQ(folderEntries(dir.file("out")), std::vector<std::string>{});

    ChildProcess killed(toolPath("PELMAROT_COPY_EXE"), {"big", "new"}, aliasFile, dir.file("kill.log"));
    ASSERT_TRUE(startCopyAndWaitForRows(killed)) << killed.errors();
    kill(killed.pid(), SIGKILL);
    killed.wait();
    EXPECT_FALSE(fs::exists(dir.file("out/new.sqlite")));
    EXPECT_EQ(temporaryFilesIn(dir.file("out"), "new.sqlite").size(), 1u) << "a kill cannot clean up";

    // The next copy clears what the killed one left and completes; the user's hidden backups beside it, of the
    // same shape, stay.
    const std::vector<std::string> backups = {".new.sqlite.backup", ".new.sqlite.2024q4"};
    for (const std::string& name : backups)
        std::ofstream(dir.file("out/" + name)) << "a backup";
    ChildProcess again(toolPath("PELMAROT_COPY_EXE"), {"big", "new"}, aliasFile, dir.file("again.log"));
    ASSERT_EQ(describeStatus(again.wait()), "exit status 0") << again.errors();
    EXPECT_EQ(folderEntries(dir.file("out")), (std::vector<std::string>{backups[1], backups[0], "new.sqlite"}));
    EXPECT_EQ(registerRows(dir.file("out/new.sqlite")), registerRows(dir.file("big.sqlite")));
    EXPECT_EQ(rowsOf(dir.file("out/new.sqlite"), "PRAGMA integrity_check"), std::vector<std::string>{"text:ok"});
}

TEST(CopyTool, TextArrivesExactlyBetweenUnicodeStoresAndACopyThatDiffersFromItsSourceFails) {
    if (!testServerFolder())
        GTEST_SKIP() << "needs the PostgreSQL test server (the test command starts one)";
    TempDir dir;
    // Letters no 8-bit code page holds together, and the characters COPY's text format escapes.
    const std::vector<DoctorRow> doctors = {{"A1", "Hoxhë", "Çlirim", "7  "}, {"Ж2", "Ќирил", "Ана", "002", false}};
    const std::vector<PersonRow> persons = {
        {"1", "Hoxhë Çlirim", "Łukasz", "Ῥόδος", "A1", "1", true, false, std::string("1999-12-31"), std::nullopt},
        {"2", "tab\there", "back\\slash", "new\nline", "A1", "2", false, true, std::nullopt, std::string("")},
        {"3", "", "crlf\r\n", "€ ∑ 😀", "Ж2", "3", true, true, std::string("2000-02-29"), std::string("44")},
    };
    writeSqliteRegister(dir.file("source.sqlite"), doctors, persons);
    const std::string database = "exact_" + std::to_string(getpid());
    runPostgresSql("postgres", "CREATE DATABASE " + database);
    const std::string aliasFile = dir.file("a.ini");
    std::ofstream(aliasFile) << "[source]\ndriver = sqlite\npath = " << dir.file("source.sqlite") << "\n"
                             << "[copy]\ndriver = sqlite\npath = " << dir.file("copy.sqlite") << "\n"
                             << postgresAlias(database, "postgres", "server")
                             << "[back]\ndriver = sqlite\npath = " << dir.file("back.sqlite") << "\n";
    const auto copy = [&](const std::string& from, const std::string& to) {
        ChildProcess run(toolPath("PELMAROT_COPY_EXE"), {from, to}, aliasFile, dir.file(to + ".log"));
        const std::string status = describeStatus(run.wait());
        return status + "\n" + run.errors();
    };
    const std::string ok = "exit status 0\n";
    EXPECT_EQ(copy("source", "copy").substr(0, ok.size()), ok);
    EXPECT_EQ(registerRows(dir.file("copy.sqlite")), registerRows(dir.file("source.sqlite")));
    EXPECT_EQ(copy("source", "server").substr(0, ok.size()), ok);
    EXPECT_EQ(copy("server", "back").substr(0, ok.size()), ok);
    EXPECT_EQ(registerRows(dir.file("back.sqlite")), registerRows(dir.file("source.sqlite")));
    EXPECT_NE(registerRows(dir.file("source.sqlite"))[0].find("Hoxhë"), std::string::npos);

    // A server that changes rows as they arrive (a trigger that the database adds to every new table): the
    // copy reads its rows back, finds them different and rolls everything back.
    const std::string spoiled = "spoiled_" + std::to_string(getpid());
    runPostgresSql("postgres", "CREATE DATABASE " + spoiled);
    runPostgresSql(spoiled,
                   "CREATE FUNCTION spoil() RETURNS trigger LANGUAGE plpgsql AS $$"
                   " BEGIN NEW.pre := upper(NEW.pre); RETURN NEW; END $$;"
                   "CREATE FUNCTION add_spoiler() RETURNS event_trigger LANGUAGE plpgsql AS $$"
                   " DECLARE r record; BEGIN"
                   " FOR r IN SELECT * FROM pg_event_trigger_ddl_commands() WHERE command_tag = 'CREATE TABLE' LOOP"
                   "  EXECUTE format('CREATE TRIGGER spoil BEFORE INSERT ON %s FOR EACH ROW EXECUTE FUNCTION spoil()',"
                   "                 r.object_identity);"
                   " END LOOP; END $$;"
                   "CREATE EVENT TRIGGER spoiler ON ddl_command_end WHEN TAG IN ('CREATE TABLE')"
                   " EXECUTE FUNCTION add_spoiler();");
    std::ofstream(aliasFile, std::ios::app) << postgresAlias(spoiled, "postgres", "spoiled");
    const std::string refused = copy("source", "spoiled");
    EXPECT_EQ(refused.substr(0, 14), "exit status 1\n") << refused;
    EXPECT_NE(refused.find("the copy of Lekari does not hold what was read (2 rows read"), std::string::npos)
        << refused;
    std::ofstream(aliasFile, std::ios::app) << "[check]\ndriver = sqlite\npath = " << dir.file("check.sqlite") << "\n";
    EXPECT_EQ(copy("spoiled", "check").substr(0, 14), "exit status 1\n") << "the spoiled database has no tables";

    // A flag stored as a word: the doctor list's aktiven=true leaves the doctor out, while 1 in a copy would
    // list him. The copy refuses and names the value.
    runSql(dir.file("source.sqlite"), "UPDATE Lekari SET AKTIVEN = 'yes' WHERE LEKAR_S = 'Ж2'");
    std::ofstream(aliasFile, std::ios::app) << "[flags]\ndriver = sqlite\npath = " << dir.file("flags.sqlite") << "\n";
    const std::string flags = copy("source", "flags");
    EXPECT_EQ(flags.substr(0, 14), "exit status 1\n") << flags;
    EXPECT_NE(flags.find("Lekari, row 2 (LEKAR_S Ж2), column AKTIVEN: 'yes' is stored where 1 or 0 is expected"),
              std::string::npos)
        << flags;
    EXPECT_FALSE(fs::exists(dir.file("flags.sqlite")));
}

// A server that stops answering during a copy into it: the copy ends within about the alias's timeout, says
// which server, and the database keeps no table once the server goes on.
TEST(CopyTool, ACopyIntoAServerThatFreezesEndsWithinTheTimeout) {
    if (!testServerFolder())
        GTEST_SKIP() << "needs the PostgreSQL test server (the test command starts one)";
    TempDir dir;
    writeBigRegister(dir.file("source.sqlite"));
    const std::string database = "frozen_" + std::to_string(getpid());
    runPostgresSql("postgres", "CREATE DATABASE " + database);
    const std::string aliasFile = dir.file("a.ini");
    std::ofstream(aliasFile) << "[source]\ndriver = sqlite\npath = " << dir.file("source.sqlite") << "\n"
                             << postgresAlias(database, "postgres", "server") << "timeout = 2\n";
    ChildProcess copy(toolPath("PELMAROT_COPY_EXE"), {"source", "server"}, aliasFile, dir.file("log"));
    ASSERT_TRUE(waitWhileRunning(copy, [&] {
        return !postgresColumn("postgres", "SELECT pid FROM pg_stat_activity WHERE datname = '" + database + "'")
                    .empty();
    })) << copy.errors();

    const FrozenServerRun frozen = runWithServerFrozen(copy, database, std::chrono::seconds(30));
    EXPECT_FALSE(frozen.waitedForTheServer) << copy.errors();
    EXPECT_EQ(describeStatus(frozen.status), "exit status 1");
    EXPECT_LT(frozen.took.count(), 8.0);
    EXPECT_NE(copy.errors().find("PostgreSQL database " + database), std::string::npos) << copy.errors();
    EXPECT_NE(copy.errors().find("did not answer in 2 seconds"), std::string::npos) << copy.errors();
    std::vector<std::string> tables;
    for (int i = 0; i < 100; ++i) {
        tables = postgresColumn(database, "SELECT tablename FROM pg_tables WHERE schemaname = 'public'");
        if (tables.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(tables.size(), 0u) << "the unfinished copy's tables stay on the server";
}

// A register named where an alias is expected, without an alias file: a Paradox folder and an SQLite file by
// their paths, a server by a connection URI; an alias of the same name still wins, and a URI never carries the
// password.
TEST(CopyTool, ARegisterNamedDirectlyByItsPathOrURIIsReadAndWritten) {
    if (!testServerFolder())
        GTEST_SKIP() << "needs the PostgreSQL test server (the test command starts one)";
    TempDir dir;
    fs::create_directories(dir.file("paradox"));
    writeParadoxRegister(dir.file("paradox"), {{"A1", "Petrovski", "Ilija"}},
                         {{"1", "P", "T", "I", "A1", "1", false, false, "2001-01-01", {}}});
    const std::string database = "direct_" + std::to_string(getpid());
    runPostgresSql("postgres", "CREATE DATABASE " + database);
    const std::string uri = "postgresql://postgres@/" + database + "?host=" + *testServerFolder() + "&port=54329";
    const std::string noAliases = "PELMAROT_ALIASES=" + dir.file("none.ini") + " ";
    const auto run = [&](const std::string& tool, const std::string& arguments) {
        return runTool(dir.path(), noAliases + toolPath(tool.c_str()) + " " + arguments);
    };
    const ToolOutput toFile = run("PELMAROT_COPY_EXE", dir.file("paradox") + " " + dir.file("new.sqlite"));
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    const ToolOutput toServer = run("PELMAROT_COPY_EXE", dir.file("new.sqlite") + " '" + uri + "'");
    EXPECT_EQ(toServer.status, 0) << toServer.err;
    const ToolOutput checked = run("PELMAROT_CHECK_EXE", "'" + uri + "'");
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.out, run("PELMAROT_CHECK_EXE", dir.file("paradox")).out);

    std::ofstream(dir.file("a.ini")) << "[new.sqlite]\ndriver = paradox\npath = " << dir.file("nowhere") << "\n";
    const ToolOutput aliased = runTool(dir.path(), "PELMAROT_ALIASES=" + dir.file("a.ini") + " " +
                                                       toolPath("PELMAROT_CHECK_EXE") + " new.sqlite");
    EXPECT_NE(aliased.status, 0) << "the alias new.sqlite names a missing folder";
    const ToolOutput secret = run("PELMAROT_CHECK_EXE", "'postgresql://postgres:secret@/x'");
    EXPECT_NE(secret.err.find("holds a password"), std::string::npos) << secret.err;
    EXPECT_EQ(secret.err.find("secret"), std::string::npos) << "the password is not repeated: " << secret.err;
}

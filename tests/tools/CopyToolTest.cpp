// pelmarot-copy, run as the built executable: a Paradox register through a server into SQLite.
#include "engine/EngineError.h"
#include "engine/ParadoxFixtures.h"
#include "support/FixtureRegister.h"
#include "support/ListsAsText.h"
#include "support/PostgresRegister.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

namespace {

int runCopy(const std::string& aliasFile, const std::string& from, const std::string& to, const std::string& log) {
    const std::string command =
        "PELMAROT_ALIASES=" + aliasFile + " " + std::getenv("PELMAROT_COPY_EXE") + " " + from + " " + to + " 2>" + log;
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

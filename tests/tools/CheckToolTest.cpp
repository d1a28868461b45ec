// pelmarot-check, run as the built executable over registers with problems planted in them, on each driver.
#include "engine/ParadoxFixtures.h"
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"
#include "support/PostgresRegister.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

using namespace testsupport;

namespace {

using CheckRun = ToolOutput;

// Runs pelmarot-check with the alias file and the arguments.
CheckRun runCheck(const TempDir& dir, const std::string& aliasFile, const std::string& arguments) {
    return runTool(dir.path(),
                   "PELMAROT_ALIASES=" + aliasFile + " " + toolPath("PELMAROT_CHECK_EXE") + " " + arguments);
}

std::string writeAliasFile(const TempDir& dir, const std::string& text) {
    const std::string path = dir.file("aliases.ini");
    std::ofstream(path) << text;
    return path;
}

// Every expected line is a whole line of the output.
void expectLines(const std::string& output, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = linesOf(output);
    for (const auto& line : expected)
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "missing: " << line << "\nin:\n"
                                                                            << output;
}

// The lines of the output that are findings ("table | row key | column | problem | effect").
std::size_t findingLines(const std::string& output) {
    std::size_t count = 0;
    for (const auto& line : linesOf(output))
        count += line.find(" | ") != std::string::npos;
    return count;
}

// Rows 1-8 of Lekari and 1-11 of Osigurenici, with a problem of each kind that every driver can store:
// Lekari row 3 repeats the code of row 2 (inactive), row 4 holds "/", row 5 'Ü1' is 'U1' (row 6) in windows-1251,
// row 7 has an empty code, row 8 is inactive. Osigurenici row 4 has the registration date `date`, row 5 repeats
// the person of row 1 (row 6 too, deregistered), row 7 names no doctor of Lekari, row 8 an inactive one, row 9 an
// empty BR_ODJ, row 11 a surname windows-1251 cannot hold.
const std::vector<DoctorRow> kPlantedDoctors = {{"100001", "Petrovski", "Ilija"},
                                                {"100002", "Trajkov", "Boris"},
                                                {"100002", "Trajkov", "Boris", "001", false},
                                                {"A/1", "Stojanov", "Goce"},
                                                {"Ü1", "Muller", "Hans"},
                                                {"U1", "Ulaj", "Besa"},
                                                {"", "Nobody", "Noname"},
                                                {"300003", "Off", "Line", "002", false}};

PersonRow person(std::string mb, std::string surname, std::string doctor, bool ucen30 = false, bool ucen70 = false,
                 std::optional<std::string> date = std::nullopt,
                 std::optional<std::string> deregistration = std::nullopt) {
    return PersonRow{std::move(mb),   std::move(surname),       "Ilija", "Ana", std::move(doctor), "1", ucen30, ucen70,
                     std::move(date), std::move(deregistration)};
}

std::vector<PersonRow> plantedPersons(const std::optional<std::string>& date) {
    std::vector<PersonRow> persons(11, person("", "Nikolov", "100001"));
    for (int i = 0; i < 11; ++i)
        persons[i].mb = "01019904500" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1);
    persons[1].ucen30 = true;
    persons[2].ucen30 = persons[2].ucen70 = true;
    persons[3].registrationDate = date;
    persons[4].mb = persons[5].mb = persons[0].mb;
    persons[5].deregistrationNumber = "9";
    persons[6].doctorCode = "999999";
    persons[7].doctorCode = "300003";
    persons[8].deregistrationNumber = "";
    persons[9].ucen30 = true;
    persons[10].surname = "Hoxhë";
    return persons;
}

// The lines every driver gives for the planted rows it stores as planted.
const std::vector<std::string> kCommonLines = {
    "Lekari | row 5, LEKAR_S 'Ü1' | LEKAR_S | 'Ü1' cannot be held by the code page windows-1251, which reads it as "
    "'U1' | the window refuses the doctor's list and pelmarot-export fails for the code: as 'U1' it would select "
    "another doctor's list and file",
    "Osigurenici | row 11, MB '0101990450011', LEKAR_S '100001' | PRE | 'Hoxhë' cannot be held by the code page "
    "windows-1251, which reads it as 'Hoxhe' | the list of doctor '100001' and its export show 'Hoxhe'; "
    "pelmarot-export warns and ends with status 1 unless --accept-transliterated",
    "Lekari | row 6, LEKAR_S 'U1' | LEKAR_S | in the code page windows-1251 the code is 'U1', as is the code 'Ü1' of "
    "row 5 | the two doctors would share one list and one export file, 'U1.txt'",
    "Lekari | row 4, LEKAR_S 'A/1' | LEKAR_S | the code 'A/1' holds \"/\" | the window's export and pelmarot-export "
    "refuse it: a file name cannot hold \"/\" or a NUL byte",
    "Lekari | row 3, LEKAR_S '100002' | LEKAR_S | the code '100002' is also in row 2 | both rows share one list and "
    "one export file, '100002.txt'",
    "Osigurenici | row 5, MB '0101990450001', LEKAR_S '100001' | MB | the person '0101990450001' is listed with the "
    "doctor '100001' in row 1 too | the list of doctor '100001' and its export show the person twice",
    "Osigurenici | row 7, MB '0101990450007', LEKAR_S '999999' | LEKAR_S | the doctor code '999999' is in no row of "
    "Lekari | the person is in no list and no export",
    "Osigurenici | row 8, MB '0101990450008', LEKAR_S '300003' | LEKAR_S | the doctor '300003' (Lekari, row 8) is "
    "inactive | the person is in no list and no export: the doctor box does not offer the doctor, and "
    "pelmarot-export refuses the code",
};

const std::string kEmptyCodeLine = "Lekari | row 7, LEKAR_S '' | LEKAR_S | the code is an empty text | its export "
                                   "file would be named '.txt', a hidden file that names no doctor";
const std::string kEmptyDeregistrationLine =
    "Osigurenici | row 9, MB '0101990450009', LEKAR_S '100001' | BR_ODJ | an empty text is stored instead of NULL | "
    "the lists' condition br_odj is null does not hold: the person counts as deregistered and is left out of the "
    "list of doctor '100001' and its export";

// column: as the server names it in the engine's message (PostgreSQL folds it to lower case).
std::string dateLine(const std::string& date, const std::string& column = "DATA_PRI") {
    return "Osigurenici | row 4, MB '0101990450004', LEKAR_S '100001' | DATA_PRI | Invalid date '" + date +
           "' in column " + column +
           " | the list of doctor '100001' cannot be opened: the window shows this error and "
           "pelmarot-export fails for the doctor";
}

// The summary's lines, in order: the count of each kind, then doctors, active doctors, persons, persons listed
// and those listed at 30%, 70% and 100%.
std::string summaryOf(const std::vector<std::int64_t>& kinds, const std::vector<std::int64_t>& holds) {
    static const char* kindLabels[] = {"tables that cannot be read",
                                       "dates that cannot be read",
                                       "texts the code page cannot hold",
                                       "doctor codes that are another code in the code page",
                                       "doctor codes that cannot name a file",
                                       "doctor codes in more than one row",
                                       "persons listed again with the same doctor",
                                       "persons whose doctor is not in Lekari",
                                       "persons whose doctor is inactive",
                                       "empty texts in BR_ODJ",
                                       "flags stored as neither true nor false"};
    static const char* holdLabels[] = {"doctors",
                                       "active doctors",
                                       "persons",
                                       "persons listed",
                                       "persons listed at 30%",
                                       "persons listed at 70%",
                                       "persons listed at 100%"};
    std::int64_t total = 0;
    std::string text;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        total += kinds[i];
        text += std::string(kindLabels[i]) + ": " + std::to_string(kinds[i]) + "\n";
    }
    for (std::size_t i = 0; i < holds.size(); ++i)
        text += std::string(holdLabels[i]) + ": " + std::to_string(holds[i]) + "\n";
    return (total ? "== summary: " + std::to_string(total) + " problems found\n" : "== summary: no problems found\n") +
           text;
}

// The output from the summary on.
std::string summaryPart(const std::string& output) {
    const auto at = output.find("== summary:");
    return at == std::string::npos ? "(no summary)\n" + output : output.substr(at);
}

bool haveExecutable() { return std::getenv("PELMAROT_CHECK_EXE") != nullptr; }

} // namespace

TEST(CheckTool, APlantedSqliteRegisterGivesALineForEachProblemAndCountsThem) {
    if (!haveExecutable())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE (the test command gives it)";
    TempDir dir;
    const std::string db = dir.file("planted.sqlite");
    writeSqliteRegister(db, kPlantedDoctors, plantedPersons("2024-13-45"));
    // What only SQLite stores: a code with a NUL byte (row 9), flags as text.
    runSql(db, "INSERT INTO Lekari VALUES ('B' || char(0) || '2', 'Nul', 'Byte', '001', 1);"
               "UPDATE Lekari SET AKTIVEN = 'yes' WHERE rowid = 3;"
               "UPDATE Osigurenici SET UCEN_30 = 'true' WHERE rowid = 10;");
    const CheckRun run = runCheck(dir, writeAliasFile(dir, AliasFileScope::sqliteAlias(db)), "kapitacija");

    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::string> expected = kCommonLines;
    expected.insert(
        expected.end(),
        {dateLine("2024-13-45"), kEmptyCodeLine, kEmptyDeregistrationLine,
         "Lekari | row 9, LEKAR_S 'B\\x002' | LEKAR_S | the code 'B\\x002' holds a NUL byte | the window's export and "
         "pelmarot-export refuse it: a file name cannot hold \"/\" or a NUL byte",
         "Lekari | row 3, LEKAR_S '100002' | AKTIVEN | 'yes' is stored where 1 or 0 is expected | the engine reads it "
         "as true; the doctor list's condition aktiven=true does not hold for it, so the doctor box and "
         "pelmarot-export --all leave the doctor out",
         "Osigurenici | row 10, MB '0101990450010', LEKAR_S '100001' | UCEN_30 | 'true' is stored where 1 or 0 is "
         "expected | the engine reads it as true, and the list of doctor '100001' shows the person at 30%"});
    expectLines(run.out, expected);
    EXPECT_EQ(findingLines(run.out), expected.size()) << run.out;
    // Listed: persons 1-5, 10 and 11; at 30% persons 2 and 10, at 70% person 3.
    EXPECT_EQ(summaryPart(run.out), summaryOf({0, 1, 2, 1, 3, 1, 1, 1, 1, 1, 2}, {9, 7, 11, 7, 2, 1, 4}));
}

TEST(CheckTool, ACleanRegisterExitsZeroWithItsCounts) {
    if (!haveExecutable())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE (the test command gives it)";
    TempDir dir;
    const std::string db = dir.file("clean.sqlite");
    // Cyrillic that windows-1251 holds; a person twice with one doctor, but once deregistered; a person with two
    // doctors; an inactive doctor whose persons are all deregistered.
    writeSqliteRegister(
        db, {{"100001", "Петровски", "Илија"}, {"200002", "Off", "Line", "001", false}, {"300003", "Ристовска", "Ана"}},
        {person("0101990450001", "Ѓорѓиевски", "100001", true, false, "2003-01-15"),
         person("0101990450001", "Ѓорѓиевски", "100001", false, false, std::nullopt, "7"),
         person("0101990450002", "Љубичић", "100001", false, true),
         person("0101990450003", "Nikolov", "100001", true, true), person("0101990450004", "Nikolov", "100001"),
         person("0101990450002", "Љубичић", "300003", false, true),
         person("0101990450005", "Nikolov", "200002", false, false, std::nullopt, "8")});
    const std::string aliases = writeAliasFile(dir, AliasFileScope::sqliteAlias(db));
    const std::string summary = summaryOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {3, 2, 7, 5, 1, 3, 1});
    for (const std::string arguments : {"kapitacija", "--max 0 kapitacija", "--quiet kapitacija"}) {
        const CheckRun run = runCheck(dir, aliases, arguments);
        EXPECT_EQ(run.status, 0) << arguments << "\n" << run.err;
        EXPECT_EQ(run.out, summary) << arguments;
    }
}

TEST(CheckTool, QuietAndMaxShortenTheListButTheSummaryCountsAll) {
    if (!haveExecutable())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE (the test command gives it)";
    TempDir dir;
    const std::string db = dir.file("unknown.sqlite");
    std::vector<PersonRow> persons;
    for (int i = 1; i <= 5; ++i)
        persons.push_back(person("010199045000" + std::to_string(i), "Nikolov", "9" + std::to_string(i)));
    writeSqliteRegister(db, {{"100001", "Petrovski", "Ilija"}}, persons);
    const std::string aliases = writeAliasFile(dir, AliasFileScope::sqliteAlias(db));
    const std::string summary = summaryOf({0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}, {1, 1, 5, 0, 0, 0, 0});

    const CheckRun two = runCheck(dir, aliases, "--max 2 kapitacija");
    EXPECT_EQ(two.status, 1);
    EXPECT_EQ(two.out,
              "== persons whose doctor is not in Lekari: 5\n"
              "Osigurenici | row 1, MB '0101990450001', LEKAR_S '91' | LEKAR_S | the doctor code '91' is in no "
              "row of Lekari | the person is in no list and no export\n"
              "Osigurenici | row 2, MB '0101990450002', LEKAR_S '92' | LEKAR_S | the doctor code '92' is in no "
              "row of Lekari | the person is in no list and no export\n"
              "... and 3 more not shown\n" +
                  summary);
    const CheckRun quiet = runCheck(dir, aliases, "--quiet kapitacija");
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.out, summary);
    const CheckRun none = runCheck(dir, aliases, "kapitacija --max 0");
    EXPECT_EQ(none.out, "== persons whose doctor is not in Lekari: 5\n... and 5 more not shown\n" + summary);
    EXPECT_EQ(findingLines(runCheck(dir, aliases, "kapitacija").out), 5u) << "20 by default";
}

TEST(CheckTool, BadUsageIsTwoAndARegisterThatCannotBeOpenedIsThreeWithTheEnginesMessage) {
    if (!haveExecutable())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE (the test command gives it)";
    TempDir dir;
    const std::string aliases = writeAliasFile(dir, AliasFileScope::sqliteAlias(dir.file("missing.sqlite")));
    for (const std::string arguments :
         {"", "--max", "--max x kapitacija", "--max -1 kapitacija", "--loud kapitacija", "kapitacija other"}) {
        const CheckRun run = runCheck(dir, aliases, arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find("Try 'pelmarot-check --help' for more information."), std::string::npos) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
    }
    const CheckRun help = runCheck(dir, aliases, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status: 0 when nothing was found, 1 when anything was found, 2 for bad\nusage, 3"),
              std::string::npos);

    const CheckRun missingFile = runCheck(dir, aliases, "kapitacija");
    EXPECT_EQ(missingFile.status, 3);
    EXPECT_EQ(missingFile.out, "");
    EXPECT_NE(missingFile.err.find("pelmarot-check: Database file " + dir.file("missing.sqlite") + " does not exist"),
              std::string::npos)
        << missingFile.err;
    const CheckRun missingAlias = runCheck(dir, aliases, "nosuch");
    EXPECT_EQ(missingAlias.status, 3);
    EXPECT_NE(missingAlias.err.find("pelmarot-check: Alias 'nosuch' is not defined"), std::string::npos)
        << missingAlias.err;
    // An SQLite file without the register's tables opens, but neither table can be read.
    runSql(dir.file("empty.sqlite"), "CREATE TABLE other (x)");
    const CheckRun noTables =
        runCheck(dir, writeAliasFile(dir, AliasFileScope::sqliteAlias(dir.file("empty.sqlite"))), "kapitacija");
    EXPECT_EQ(noTables.status, 3);
    EXPECT_EQ(noTables.err, "pelmarot-check: Table 'Lekari' does not exist in the database " +
                                dir.file("empty.sqlite") +
                                "\npelmarot-check: Table 'Osigurenici' does not exist in the database " +
                                dir.file("empty.sqlite") + "\n");
}

TEST(CheckTool, RunningOutOfMemorySaysWhatRanOutAndWhatWasBeingRead) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "the address sanitizer maps more address space than any limit of this test leaves";
    if (!haveExecutable())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE (the test command gives it)";
    TempDir dir;
    const std::string db = dir.file("huge.sqlite");
    writeSqliteRegister(db, {{"A1", "Petrov", "Ilija"}}, {person("0101990450001", "Petrov", "A1")});
    // An identity number of 16 MB: the engine holds it, and the check's copies of it pass the limit.
    runSql(db, "UPDATE Osigurenici SET MB = replace(hex(zeroblob(8000000)), '00', 'x1')");
    const std::string aliases = writeAliasFile(dir, AliasFileScope::sqliteAlias(db));
    // Where memory runs out depends on what the program maps at its start: one of the limits finds the check's.
    int outOfMemory = 0;
    for (int mib = 20; mib <= 120; mib += 4) {
        const CheckRun run =
            runTool(dir.path(), "true && ulimit -v " + std::to_string(mib * 1024) + " && PELMAROT_ALIASES=" + aliases +
                                    " " + toolPath("PELMAROT_CHECK_EXE") + " kapitacija");
        EXPECT_EQ(run.err.find("bad_alloc"), std::string::npos) << mib << " MiB: " << run.err;
        if (run.err.find("Out of memory") == std::string::npos)
            continue;
        ++outOfMemory;
        EXPECT_EQ(run.status, 3) << mib << " MiB";
        EXPECT_EQ(run.err, "pelmarot-check: Out of memory while reading the table Osigurenici at row 1: the check "
                           "needs more memory for this register\n")
            << mib << " MiB";
    }
    EXPECT_GT(outOfMemory, 0);
}

TEST(CheckTool, APlantedParadoxRegisterAndADamagedTable) {
    if (!haveExecutable())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE (the test command gives it)";
    TempDir dir;
    // windows-1252 tables hold 'Ü1' and 'Hoxhë'; Paradox stores an empty text as blank, so the empty code is blank
    // and the empty BR_ODJ is none (person 9 is listed), and a logical field holds only true or false.
    writeParadoxRegister(dir.path(), kPlantedDoctors, plantedPersons(std::nullopt), "CP1252");
    const std::string aliases = writeAliasFile(dir, paradoxAlias(dir.path()));
    const CheckRun run = runCheck(dir, aliases, "kapitacija");
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> expected = kCommonLines;
    expected.push_back("Lekari | row 7, LEKAR_S blank | LEKAR_S | the code is blank | its export file would be named "
                       "'.txt', a hidden file that names no doctor");
    expectLines(run.out, expected);
    EXPECT_EQ(findingLines(run.out), expected.size()) << run.out;
    EXPECT_EQ(summaryPart(run.out), summaryOf({0, 0, 2, 1, 2, 1, 1, 1, 1, 0, 0}, {8, 6, 11, 8, 2, 1, 5}));

    // A cut Lekari.DB is a finding; the persons are still checked, their doctors are not.
    const std::string lekari = dir.file("Lekari.DB");
    writeBytes(lekari, readFile(lekari).substr(0, 64));
    const CheckRun damaged = runCheck(dir, aliases, "kapitacija");
    EXPECT_EQ(damaged.status, 1) << damaged.err;
    expectLines(damaged.out,
                {"Lekari | whole table | - | " + lekari +
                     ", header: the file holds 64 bytes, too few for a Paradox table | the doctor list cannot be "
                     "opened: the window and pelmarot-export stop with this error; the persons' doctors are not "
                     "checked",
                 kCommonLines[1], kCommonLines[5],
                 "persons whose doctor is not in Lekari: not known (Lekari cannot be read)",
                 "persons whose doctor is inactive: not known (Lekari cannot be read)",
                 "persons listed: not known (Lekari cannot be read)", "persons: 11", "doctors: 0"});

    // With Osigurenici.DB gone as well, nothing can be read.
    std::filesystem::remove(dir.file("Osigurenici.DB"));
    const CheckRun nothing = runCheck(dir, aliases, "kapitacija");
    EXPECT_EQ(nothing.status, 3);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "pelmarot-check: " + lekari +
                               ", header: the file holds 64 bytes, too few for a Paradox table\n"
                               "pelmarot-check: Table 'Osigurenici' does not exist in the database " +
                               dir.path() + "\n");
}

TEST(CheckTool, APlantedPostgresRegister) {
    if (!haveExecutable() || !testServerFolder())
        GTEST_SKIP() << "needs PELMAROT_CHECK_EXE and the PostgreSQL test server (the test command gives both)";
    TempDir dir;
    // A date column holds 'infinity', which is no date the program can show; flags are true or false only.
    const std::string database = writePostgresRegister(kPlantedDoctors, plantedPersons("infinity"));
    const CheckRun run = runCheck(dir, writeAliasFile(dir, postgresAlias(database)), "kapitacija");
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> expected = kCommonLines;
    expected.insert(expected.end(), {dateLine("infinity", "data_pri"), kEmptyCodeLine, kEmptyDeregistrationLine});
    expectLines(run.out, expected);
    EXPECT_EQ(findingLines(run.out), expected.size()) << run.out;
    EXPECT_EQ(summaryPart(run.out), summaryOf({0, 1, 2, 1, 2, 1, 1, 1, 1, 1, 0}, {8, 6, 11, 7, 2, 1, 4}));
}

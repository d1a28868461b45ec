// The month end's one read of the register (OnePass) against the window's way, one reload per doctor: every file and
// every failure and warning must be the same, whatever the register holds and however its table is declared.
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/EngineError.h"
#include "engine/ParadoxFixtures.h"
#include "export/DoctorExport.h"
#include "export/MonthEnd.h"
#include "files/FileSystem.h"
#include "support/ChildProcess.h"
#include "support/FaultyFileSystem.h"
#include "support/FixtureRegister.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// What the month end tells of one doctor, as text for comparing.
std::string outcomeText(const exportfile::DoctorExportResult& result) {
    std::string text =
        result.code + (result.written() ? ": " + std::to_string(result.rows) + " rows" : ": " + result.failure);
    for (const auto& warning : result.warnings)
        text += "\n  warning: " + warning;
    return text;
}

// Every active doctor exported the one way or the other.
std::vector<std::string> exportEveryDoctor(const std::string& folder, exportfile::MonthEnd::Way way) {
    exportfile::MonthEnd monthEnd("kapitacija", data::RegionalSettings::defaults());
    std::vector<std::string> outcomes;
    const exportfile::MonthEndLedger ledger = monthEnd.run(monthEnd.activeDoctorCodes(), folder, {}, way);
    for (const auto& result : ledger.results())
        outcomes.push_back(outcomeText(result));
    return outcomes;
}

// The window's way: each active doctor's list reloaded and written on its own.
std::vector<std::string> exportByReloads(const std::string& folder) {
    return exportEveryDoctor(folder, exportfile::MonthEnd::Way::ReloadEach);
}

// One read of the register, the reloads taking only the doctors it leaves.
std::vector<std::string> exportByOnePass(const std::string& folder) {
    return exportEveryDoctor(folder, exportfile::MonthEnd::Way::OnePass);
}

// Doctors A1, B2, E1, C3 and 0042 active, D4 not; 3,000 persons spread over them in turn (so each doctor's rows lie
// all over the table and its blocks), some deregistered, some of doctors no one knows.
std::vector<DoctorRow> doctors() {
    return {{"A1", "Petrovski", "Ilija"}, {"B2", "Nikolov", "Ivan"},    {"E1", "Stojanov", "Marko"},
            {"C3", "Ristov", "Goran"},    {"0042", "Trajkov", "Boris"}, {"D4", "Kostov", "Zoran", "001", false}};
}

std::vector<PersonRow> persons() {
    const char* codes[] = {"A1", "B2", "C3", "E1", "D4", "Z9", "0042"};
    std::vector<PersonRow> rows;
    for (int i = 0; i < 3000; ++i) {
        PersonRow row{std::to_string(1000000 + (i * 7919) % 100000),
                      "Prezime" + std::to_string(i % 13),
                      "T",
                      "Ime" + std::to_string(i % 17),
                      codes[i % 7],
                      std::to_string(i),
                      i % 3 == 0,
                      i % 5 == 0,
                      "20" + std::to_string(10 + i % 10) + "-0" + std::to_string(1 + i % 9) + "-1" +
                          std::to_string(i % 9),
                      std::nullopt};
        if (i % 11 == 0)
            row.deregistrationNumber = "O" + std::to_string(i);
        if (i % 97 == 0)
            row.registrationDate.reset();
        rows.push_back(row);
    }
    // Texts the code page (windows-1251) cannot hold: a warning for B2's list, and a code that is delivered as
    // "E1" but is no doctor's.
    rows[1].firstName = "Hoxhë";
    rows.push_back({"77", "Çlirim", "T", "I", "Ë1", "1", false, false, "2001-01-01", {}});
    return rows;
}

// The fixture register in a folder of its own, named by the alias kapitacija, and the files a month end writes
// of it into the folder's subfolder `reference`.
struct FixtureMonthEnd {
    TempDir dir;
    AliasFileScope scope;
    std::map<std::string, std::string> reference;

    FixtureMonthEnd() : scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite"))) {
        writeSqliteRegister(dir.file("k.sqlite"), doctors(), persons());
        fs::create_directories(dir.file("reference"));
        exportByReloads(dir.file("reference"));
        reference = filesIn(dir.file("reference"));
    }
};

void expectSameExports(const std::string& out) {
    const std::vector<std::string> byReloads = exportByReloads(out + "/reloads");
    const std::vector<std::string> byOnePass = exportByOnePass(out + "/one-pass");
    EXPECT_EQ(byOnePass, byReloads);
    EXPECT_EQ(filesIn(out + "/one-pass"), filesIn(out + "/reloads"));
}

} // namespace

TEST(OnePass, EveryFileFailureAndWarningEqualsTheReloadsOnADirtySqliteRegister) {
    TempDir dir;
    const std::string path = dir.file("k.sqlite");
    writeSqliteRegister(path, doctors(), persons());
    // A1 has an invalid date in its second row with no MB (the message counts the row within A1's list); a BLOB
    // code with C3's bytes and a NULL code match no doctor in SQL; an integer code stays text in a text column.
    runSql(path, "UPDATE Osigurenici SET DATA_PRI = '2019-02-30', MB = NULL WHERE rowid = 7;"
                 "INSERT INTO Osigurenici VALUES ('88', 'Blob', 'T', 'I', X'4333', '1', 0, 0, '2001-01-01', NULL);"
                 "INSERT INTO Osigurenici VALUES ('89', 'Null', 'T', 'I', NULL, '1', 0, 0, '2001-01-01', NULL);");
    AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(path));

    // As the demo generator declares the tables, and with each declaration that orders or compares a doctor's
    // rows differently: an index that sorts them by MB, a code compared without regard to case (c3 is C3's),
    // a table without rowids, a code of integer affinity (where "0042" is stored as 42 and still matches).
    const std::vector<std::pair<std::string, std::string>> variants{
        {"plain", ""},
        {"index by doctor and MB",
         "DROP INDEX Osigurenici_LEKAR_S; CREATE INDEX ByDoctorAndMb ON Osigurenici (LEKAR_S, MB);"},
        {"index by doctor and deregistration", "CREATE INDEX ByDoctorOut ON Osigurenici (LEKAR_S, BR_ODJ);"},
        {"code without case",
         "CREATE TABLE o2 (MB TEXT(13), PRE TEXT(20), TIME TEXT(15), IME TEXT(15), LEKAR_S TEXT(6) COLLATE NOCASE,"
         " BR_PRI TEXT(8), UCEN_30 BOOLEAN, UCEN_70 BOOLEAN, DATA_PRI DATE, BR_ODJ TEXT);"
         "INSERT INTO o2 SELECT * FROM Osigurenici; UPDATE o2 SET LEKAR_S = 'c3' WHERE rowid % 4 = 0 AND LEKAR_S = "
         "'C3';"
         "DROP TABLE Osigurenici; ALTER TABLE o2 RENAME TO Osigurenici;"},
        {"no rowids",
         "CREATE TABLE o2 (MB TEXT(13), PRE TEXT(20), TIME TEXT(15), IME TEXT(15), LEKAR_S TEXT(6), BR_PRI TEXT(8),"
         " UCEN_30 BOOLEAN, UCEN_70 BOOLEAN, DATA_PRI DATE, BR_ODJ TEXT, PRIMARY KEY (PRE, MB, BR_PRI)) WITHOUT ROWID;"
         "INSERT OR IGNORE INTO o2 SELECT * FROM Osigurenici WHERE MB IS NOT NULL;"
         "DROP TABLE Osigurenici; ALTER TABLE o2 RENAME TO Osigurenici;"},
        {"integer codes",
         "CREATE TABLE o2 (MB TEXT(13), PRE TEXT(20), TIME TEXT(15), IME TEXT(15), LEKAR_S INTEGER, BR_PRI TEXT(8),"
         " UCEN_30 BOOLEAN, UCEN_70 BOOLEAN, DATA_PRI DATE, BR_ODJ TEXT);"
         "INSERT INTO o2 SELECT * FROM Osigurenici;"
         "DROP TABLE Osigurenici; ALTER TABLE o2 RENAME TO Osigurenici;"},
    };
    for (const auto& [name, sql] : variants) {
        SCOPED_TRACE(name);
        if (!sql.empty()) {
            fs::remove(path);
            writeSqliteRegister(path, doctors(), persons());
            runSql(path, "UPDATE Osigurenici SET DATA_PRI = '2019-02-30', MB = NULL WHERE rowid = 7;" + sql);
        }
        const std::string out = dir.file("out-" + std::to_string(&name - &variants.front().first));
        fs::create_directories(out + "/reloads");
        fs::create_directories(out + "/one-pass");
        expectSameExports(out);
    }
}

TEST(OnePass, EveryFileAndWarningEqualsTheReloadsFromParadoxTables) {
    TempDir dir;
    fs::create_directories(dir.file("px"));
    // CP1250 holds "Hoxhë" and "Ë1", which the alias's windows-1251 cannot.
    writeParadoxRegister(dir.file("px"), doctors(), persons(), "CP1250");
    AliasFileScope scope(dir.file("aliases.ini"), paradoxAlias(dir.file("px")));
    fs::create_directories(dir.file("out/reloads"));
    fs::create_directories(dir.file("out/one-pass"));
    expectSameExports(dir.file("out"));
    EXPECT_NE(readFile(dir.file("out/one-pass/B2.txt")).find("Hoxhe"), std::string::npos);
}

// A month end over the files of the last one: each is replaced whole (a longer old file leaves no tail), a file
// an administrator restricted stays restricted, and no temporary file stays behind.
TEST(OnePass, AMonthEndReplacesTheLastOnesFilesWholeAndKeepsTheirPermissions) {
    const FixtureMonthEnd fixture;
    const TempDir& dir = fixture.dir;

    const std::string out = dir.file("batch");
    fs::create_directories(out);
    std::ofstream(out + "/A1.txt") << std::string(1 << 20, 'x');
    std::ofstream(out + "/B2.txt") << "last month";
    const fs::perms restricted = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(out + "/A1.txt", restricted);
    exportByOnePass(out);
    EXPECT_EQ(filesIn(out), fixture.reference);
    EXPECT_EQ(fs::status(out + "/A1.txt").permissions() & fs::perms::all, restricted);
    // The second month end replaces what the first one wrote.
    exportByOnePass(out);
    EXPECT_EQ(filesIn(out), fixture.reference);
}

// Few files open at once: the doctors whose files cannot be open while the register is read wait in memory and
// get their files in turns at the end, and the files are still those of the reloads.
TEST(OnePass, AProcessAllowedFewOpenFilesReadsTheRegisterInGroupsOfDoctors) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    if (exporter.empty())
        GTEST_SKIP() << "runs the built pelmarot-export under ctest";
    TempDir dir;
    std::vector<DoctorRow> many;
    std::vector<PersonRow> rows;
    for (int d = 0; d < 40; ++d)
        many.push_back({"L" + std::to_string(d), "Lekar", "X"});
    for (int i = 0; i < 6000; ++i)
        rows.push_back({std::to_string(i),
                        "P",
                        "T",
                        "I",
                        "L" + std::to_string(i < 4000 ? 36 + i % 4 : i * 13 % 40),
                        std::to_string(i),
                        i % 2 == 0,
                        false,
                        "2020-01-01",
                        {}});
    writeSqliteRegister(dir.file("k.sqlite"), many, rows);
    AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
    fs::create_directories(dir.file("reloads"));
    exportByReloads(dir.file("reloads"));
    // 80 descriptors leave room for the files of some doctors at a time, 20 for a few.
    for (const char* limit : {"80", "20"}) {
        fs::remove_all(dir.file("out"));
        fs::create_directories(dir.file("out"));
        const ToolOutput run =
            runTool(dir.path(), std::string("ulimit -n ") + limit + " && PELMAROT_ALIASES=" + dir.file("aliases.ini") +
                                    " " + exporter + " --all --out " + dir.file("out"));
        EXPECT_EQ(run.status, 0) << limit << ": " << run.err;
        EXPECT_EQ(filesIn(dir.file("out")), filesIn(dir.file("reloads"))) << limit;
    }
}

// Memory or a thread that the system refuses ends a month end with a failure that says so and removes the files
// it had not finished; it never aborts and leaves them lying in the folder.
TEST(OnePass, AMonthEndShortOfMemoryEndsWithANamedFailureAndNoTemporaryFile) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    if (exporter.empty() || kAddressSanitizer)
        GTEST_SKIP() << "runs the built pelmarot-export under ctest, without the address sanitizer";
    TempDir dir;
    ASSERT_EQ(std::system((toolPath("PELMAROT_DEMO_DB_EXE") + " --doctors 900 --persons 300000 " +
                           dir.file("k.sqlite") + " >/dev/null 2>&1")
                              .c_str()),
              0);
    std::ofstream(dir.file("aliases.ini")) << AliasFileScope::sqliteAlias(dir.file("k.sqlite"));
    for (const char* kib : {"80000", "100000", "180000", "250000"}) {
        const std::string out = dir.file(std::string("out-") + kib);
        fs::create_directories(out);
        const ToolOutput run =
            runTool(dir.path(), std::string("ulimit -v ") + kib + " && PELMAROT_ALIASES=" + dir.file("aliases.ini") +
                                    " " + exporter + " --all --out " + out);
        ASSERT_TRUE(run.status == 0 || run.status == 1) << kib << ": " << run.err;
        if (run.status == 1) {
            EXPECT_TRUE(run.err.find("out of memory") != std::string::npos ||
                        run.err.find("refused a thread") != std::string::npos)
                << kib << ": " << run.err;
        }
        for (const std::string& name : folderEntries(out))
            ASSERT_NE(name.front(), '.') << kib << ": left behind " << name;
    }
}

// A doctor whose code the code page holds is exported even beside a doctor whose code it cannot hold and would
// deliver as the same bytes (Ĉ1 as C1): alone, and in a month end of every doctor, where only Ĉ1 fails.
TEST(OnePass, ACodeBesideALookAlikeTheCodePageCannotHoldIsExported) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    if (exporter.empty())
        GTEST_SKIP() << "runs the built pelmarot-export under ctest";
    TempDir dir;
    writeSqliteRegister(dir.file("k.sqlite"), {{"C1", "Petrovski", "Ilija"}, {"Ĉ1", "Nikolov", "Ivan"}},
                        {{"1", "Held", "T", "I", "C1", "1", false, false, "2020-01-01", {}},
                         {"2", "Unheld", "T", "I", "Ĉ1", "2", false, false, "2020-01-01", {}}});
    std::ofstream(dir.file("aliases.ini")) << AliasFileScope::sqliteAlias(dir.file("k.sqlite"));
    for (const std::string codes : {"C1", "--all"}) {
        const std::string out = dir.file(codes == "C1" ? "alone" : "all");
        fs::create_directories(out);
        const ToolOutput run = runTool(dir.path(), "PELMAROT_ALIASES=" + dir.file("aliases.ini") + " " + exporter +
                                                       " --out " + out + " " + codes);
        EXPECT_EQ(run.status, codes == "C1" ? 0 : 1) << codes << ": " << run.err;
        EXPECT_EQ(folderEntries(out), std::vector<std::string>{"C1.txt"}) << codes << ": " << run.err;
        const std::string file = readFile(out + "/C1.txt");
        EXPECT_NE(file.find("Held"), std::string::npos) << codes;
        EXPECT_EQ(file.find("Unheld"), std::string::npos) << codes;
        EXPECT_EQ(run.err.find("'C1' cannot be held"), std::string::npos) << codes << ": " << run.err;
    }
}

// The month end's failures of the file system: a sync that fails, a rename that fails, a disk that fills up
// part-way. Each doctor either has the file a faultless run writes, or fails naming the failure and keeps last
// month's file whole; no temporary file stays.
TEST(OnePass, AFileSystemThatFailsLeavesEveryFileWholeAndNamesTheFailure) {
    const FixtureMonthEnd fixture;
    const TempDir& dir = fixture.dir;
    const std::map<std::string, std::string>& reference = fixture.reference;

    struct Fault {
        const char* name;
        std::function<void(FaultyFileSystem&)> set;
        const char* failure;
    };
    const Fault faults[] = {
        {"syncs fail", [](FaultyFileSystem& f) { f.failSyncs = true; }, "Input/output error"},
        {"the rename to B2.txt fails", [](FaultyFileSystem& f) { f.failRenameTo = "B2.txt"; }, "Cannot replace "},
        {"the disk fills up part-way", [](FaultyFileSystem& f) { f.bytesLeft = 100000; }, "No space left on device"},
    };
    // Both ways of committing the files: one sync of the file system, or a sync of each file.
    for (const bool oneSyncCovers : {true, false})
        for (const Fault& fault : faults) {
            const std::string name = std::string(fault.name) + (oneSyncCovers ? ", one sync" : ", a sync each");
            const std::string out = dir.file(name);
            fs::create_directories(out);
            for (const auto& [file, bytes] : reference)
                std::ofstream(out + "/" + file) << "last month's " << file;
            FaultyFileSystem faulty;
            faulty.oneSyncCovers = oneSyncCovers;
            fault.set(faulty);
            std::vector<exportfile::DoctorExportResult> results;
            {
                const files::ScopedFileSystem installed(faulty);
                exportfile::MonthEnd batch("kapitacija", data::RegionalSettings::defaults());
                results = batch.run(batch.activeDoctorCodes(), out).results();
            }
            std::size_t failed = 0;
            for (const auto& result : results) {
                const std::string file = result.code + ".txt";
                if (result.written()) {
                    EXPECT_EQ(readFile(out + "/" + file), reference.at(file)) << name << ": " << file;
                    continue;
                }
                ++failed;
                EXPECT_NE(result.failure.find(fault.failure), std::string::npos) << name << ": " << result.failure;
                EXPECT_EQ(readFile(out + "/" + file), "last month's " + file) << name;
            }
            EXPECT_GT(failed, 0u) << name << ": the fault hit no doctor";
            EXPECT_EQ(folderEntries(out).size(), reference.size()) << name << ": a temporary file stayed";
        }
}

// While one read of the register runs, the month end tells how far it has come: rows read against the rows to
// read, never going back, ending with the two equal, and before any doctor is done.
TEST(OnePass, AMonthEndTellsTheRowsReadAgainstTheRowsToReadBeforeItsDoctors) {
    TempDir dir;
    std::vector<PersonRow> rows;
    for (int i = 0; i < 200000; ++i)
        rows.push_back({std::to_string(i), "P", "T", "I", i % 2 ? "A1" : "B2", "1", false, false, "2020-01-01", {}});
    writeSqliteRegister(dir.file("k.sqlite"), doctors(), rows);
    AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
    exportfile::MonthEnd monthEnd("kapitacija", data::RegionalSettings::defaults());
    std::vector<std::pair<std::int64_t, std::int64_t>> told;
    std::size_t doctorsDoneBeforeTheEnd = 0;
    monthEnd.setReadProgress([&](std::int64_t read, std::int64_t toRead) { told.emplace_back(read, toRead); });
    fs::create_directories(dir.file("out"));
    monthEnd.run(monthEnd.activeDoctorCodes(), dir.file("out"), [&](std::size_t, std::size_t, const auto&) {
        doctorsDoneBeforeTheEnd += told.empty() || told.back().first != told.back().second ? 1 : 0;
    });
    ASSERT_GT(told.size(), 2u);
    EXPECT_EQ(told.front().second, 200000) << "the rows to read are known from the start";
    for (std::size_t i = 1; i < told.size(); ++i)
        EXPECT_GE(told[i].first, told[i - 1].first);
    EXPECT_EQ(told.back(), std::make_pair(std::int64_t{200000}, std::int64_t{200000}));
    EXPECT_EQ(doctorsDoneBeforeTheEnd, 0u);
}

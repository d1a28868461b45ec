// Registers that another program replaces or rewrites: the nightly refresh that renames a new file over the
// old one, and a file truncated or overwritten while a month-end export reads it.
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "data/RegionalSettings.h"
#include "engine/EngineError.h"
#include "engine/ParadoxFixtures.h"
#include "engine/SqliteHandles.h"
#include "export/MonthEnd.h"
#include "files/FileDescriptor.h"
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"
#include "support/PostgresRegister.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

PersonRow personOf(const std::string& mb, const std::string& doctor, const std::string& surname) {
    return PersonRow{mb, surname, "Ilija", "Marko", doctor, "1", false, false, "2001-02-03", {}};
}

std::vector<std::string> surnamesOf(data::InsuredList& list) {
    std::vector<std::string> names;
    for (list.first(); !list.eof(); list.next())
        names.emplace_back(list.PRE.asString());
    return names;
}

// A register written next to the live one and renamed over it, the way a nightly refresh replaces a file.
template <class Write>
void replaceByRename(const std::string& live, const std::string& staging, Write write) {
    write(staging);
    fs::rename(staging, live);
}

} // namespace

TEST(ChangingRegister, AFileOrFolderRenamedOverThePathIsReadAtTheNextReload) {
    TempDir dir;
    const std::vector<DoctorRow> doctors{{"A1", "Petrovski", "Ilija"}};
    const std::vector<PersonRow> before{personOf("1", "A1", "Old")};
    const std::vector<PersonRow> after{personOf("1", "A1", "New"), personOf("2", "A1", "Newer")};

    // SQLite: the connection still holds the old file, which is gone from the folder.
    writeSqliteRegister(dir.file("k.sqlite"), doctors, before);
    {
        AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
        data::Connection kdb;
        kdb.open();
        data::InsuredList list(kdb);
        list.reload("A1");
        EXPECT_EQ(surnamesOf(list), std::vector<std::string>{"Old"});
        replaceByRename(dir.file("k.sqlite"), dir.file("k.sqlite.new"),
                        [&](const std::string& path) { writeSqliteRegister(path, doctors, after); });
        list.reload("A1");
        EXPECT_EQ(surnamesOf(list), (std::vector<std::string>{"New", "Newer"}));

        // Copied over in place (the same file, rewritten) by a register whose change counter is the same as
        // the one the connection has cached: SQLite alone would go on reading its cached pages.
        writeSqliteRegister(dir.file("other.sqlite"), doctors, before);
        ASSERT_EQ(readFile(dir.file("other.sqlite")).substr(24, 4), readFile(dir.file("k.sqlite")).substr(24, 4))
            << "the two files' change counters differ, so this case would not test the cache";
        fs::copy_file(dir.file("other.sqlite"), dir.file("k.sqlite"), fs::copy_options::overwrite_existing);
        list.reload("A1");
        EXPECT_EQ(surnamesOf(list), std::vector<std::string>{"Old"});
    }

    // Paradox: a table file renamed over, and then the whole folder swapped.
    fs::create_directories(dir.file("px"));
    writeParadoxRegister(dir.file("px"), doctors, before);
    AliasFileScope scope(dir.file("aliases.ini"), paradoxAlias(dir.file("px")));
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    list.reload("A1");
    EXPECT_EQ(surnamesOf(list), std::vector<std::string>{"Old"});
    fs::create_directories(dir.file("px-new"));
    writeParadoxRegister(dir.file("px-new"), doctors, after);
    fs::rename(dir.file("px-new/Osigurenici.DB"), dir.file("px/Osigurenici.DB"));
    list.reload("A1");
    EXPECT_EQ(surnamesOf(list), (std::vector<std::string>{"New", "Newer"}));

    fs::create_directories(dir.file("px-next"));
    writeParadoxRegister(dir.file("px-next"), doctors, before);
    fs::rename(dir.file("px"), dir.file("px-old"));
    fs::rename(dir.file("px-next"), dir.file("px"));
    list.reload("A1");
    EXPECT_EQ(surnamesOf(list), std::vector<std::string>{"Old"});
}

namespace {} // namespace

TEST(ChangingRegister, ARegisterReplacedAfterTheMonthEndReadItsDoctorsFailsEachDoctorInsteadOfMixingTwo) {
    TempDir dir;
    const std::vector<DoctorRow> doctors{{"A1", "Petrovski", "Ilija"}, {"B2", "Nikolov", "Ivan"}};
    // The new register has other doctors: A1's persons moved to C3, and B2 is gone.
    const std::vector<DoctorRow> newDoctors{{"C3", "Stojanov", "Marko"}};
    const auto writeBoth = [&](const std::string& sqlite, const std::string& paradox) {
        writeSqliteRegister(sqlite, doctors, {personOf("1", "A1", "Old"), personOf("2", "B2", "Old")});
        fs::create_directories(paradox);
        writeParadoxRegister(paradox, doctors, {personOf("1", "A1", "Old"), personOf("2", "B2", "Old")});
    };
    writeBoth(dir.file("k.sqlite"), dir.file("px"));
    for (const std::string& alias : {AliasFileScope::sqliteAlias(dir.file("k.sqlite")), paradoxAlias(dir.file("px"))}) {
        const bool paradox = alias.find("paradox") != std::string::npos;
        AliasFileScope scope(dir.file("aliases.ini"), alias);
        exportfile::MonthEnd batch("kapitacija", data::RegionalSettings::defaults());
        ASSERT_EQ(batch.activeDoctorCodes(), (std::vector<std::string>{"A1", "B2"}));
        if (paradox) {
            fs::create_directories(dir.file("px-new"));
            writeParadoxRegister(dir.file("px-new"), newDoctors, {personOf("1", "C3", "New")});
            fs::rename(dir.file("px-new/Osigurenici.DB"), dir.file("px/Osigurenici.DB"));
        } else {
            replaceByRename(dir.file("k.sqlite"), dir.file("k.sqlite.new"), [&](const std::string& path) {
                writeSqliteRegister(path, newDoctors, {personOf("1", "C3", "New")});
            });
        }
        const std::string out = dir.file(paradox ? "out-px" : "out-sqlite");
        fs::create_directories(out);
        const auto results = batch.run(batch.activeDoctorCodes(), out).results();
        ASSERT_EQ(results.size(), 2u);
        for (const auto& result : results) {
            EXPECT_FALSE(result.written()) << result.code;
            EXPECT_NE(result.failure.find("was replaced or changed by another program after the doctors were read"),
                      std::string::npos)
                << result.failure;
        }
        EXPECT_EQ(folderEntries(out), std::vector<std::string>{}) << "no file from two registers";
    }
}

TEST(ChangingRegister, AFileTruncatedOrOverwrittenDuringAMonthEndGivesANamedErrorNeverACrashOrAWrongFile) {
    const std::string demo = toolPath("PELMAROT_DEMO_DB_EXE");
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    ASSERT_FALSE(demo.empty() || exporter.empty()) << "PELMAROT_DEMO_DB_EXE and PELMAROT_EXPORT_EXE name the tools";
    TempDir dir;
    const std::string live = dir.file("k.sqlite");
    const std::string aliasFile = dir.file("aliases.ini");
    AliasFileScope scope(aliasFile, AliasFileScope::sqliteAlias(live));
    // Two registers of the same doctors with other persons; the export of the first is the reference.
    for (const auto& [name, seed] : {std::pair{"first.sqlite", "1"}, std::pair{"second.sqlite", "2"}}) {
        const std::string command =
            demo + " --doctors 60 --persons 150000 --seed " + seed + " " + dir.file(name) + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    std::map<std::string, std::map<std::string, std::string>> references;
    for (const char* name : {"first.sqlite", "second.sqlite"}) {
        fs::copy_file(dir.file(name), live, fs::copy_options::overwrite_existing);
        const std::string out = dir.file(std::string("ref-") + name);
        fs::create_directories(out);
        ChildProcess reference(exporter, {"--all", "--out", out}, aliasFile, dir.file("errors"));
        ASSERT_EQ(describeStatus(reference.wait()), "exit status 0") << reference.errors();
        references[name] = filesIn(out);
    }

    struct Change {
        const char* name;
        void (*apply)(const std::string& live, const TempDir& dir);
    };
    const Change changes[] = {
        {"truncated to half",
         [](const std::string& path, const TempDir&) { fs::resize_file(path, fs::file_size(path) / 2); }},
        {"truncated to nothing", [](const std::string& path, const TempDir&) { fs::resize_file(path, 0); }},
        {"overwritten in place by cp",
         [](const std::string& path, const TempDir& d) {
             ASSERT_EQ(std::system(("cp " + d.file("second.sqlite") + " " + path).c_str()), 0);
         }},
    };
    int failures = 0;
    for (const Change& change : changes) {
        for (int delayMs : {30, 120, 300}) {
            const std::string label = std::string(change.name) + " after " + std::to_string(delayMs) + " ms";
            fs::copy_file(dir.file("first.sqlite"), live, fs::copy_options::overwrite_existing);
            const std::string out = dir.file("out");
            fs::remove_all(out);
            fs::create_directories(out);
            ChildProcess run(exporter, {"--all", "--out", out}, aliasFile, dir.file("errors"));
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            change.apply(live, dir);
            const int status = run.wait();
            ASSERT_TRUE(WIFEXITED(status)) << label << ": killed by signal " << WTERMSIG(status);
            const std::string errors = readFile(dir.file("errors"));
            ASSERT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1) << label << "\n" << errors;
            if (WEXITSTATUS(status) == 1) {
                ++failures;
                EXPECT_NE(errors.find(live), std::string::npos) << label << ": the failure names the file\n" << errors;
            }
            // Every file written is some register's whole list of that doctor, never a mixture or a short list.
            for (const auto& [name, bytes] : filesIn(out)) {
                const bool whole =
                    references["first.sqlite"][name] == bytes || references["second.sqlite"][name] == bytes;
                EXPECT_TRUE(whole) << label << ": " << name << " is no register's list of that doctor";
            }
        }
    }
    EXPECT_GT(failures, 0) << "no change fell inside a read; the register is too small to test anything";
}

namespace {

// Another program that registers persons while a month end runs: every few milliseconds one transaction moves
// one of the persons M0..M{count-1} between A1 and B2 and registers a new person with D0. Runs until the object
// goes; a transaction the month end's lock turns away is tried with the next.
class RegisteringWriter {
public:
    RegisteringWriter(std::function<void(const std::string& sql)> run, int count) {
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        for (int i = 0;; ++i) {
            const std::string mb = "M" + std::to_string(i % count);
            try {
                run("BEGIN; UPDATE Osigurenici SET LEKAR_S = CASE LEKAR_S WHEN 'A1' THEN 'B2' ELSE 'A1' END "
                    "WHERE MB = '" +
                    mb +
                    "'; INSERT INTO Osigurenici (MB, PRE, LEKAR_S, UCEN_30, UCEN_70) VALUES "
                    "('N" +
                    std::to_string(i) + "', 'Nov', 'D0', false, false); COMMIT");
            } catch (...) {
            }
            ::usleep(5000);
        }
    }
    ~RegisteringWriter() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

// The moving persons each of two files holds.
std::multiset<std::string> movingPersonsIn(const std::vector<std::string>& files) {
    std::multiset<std::string> found;
    for (const std::string& file : files)
        for (const std::string& line : linesOf(readFile(file)))
            if (const auto at = line.find(" M"); at != std::string::npos && at < 25)
                found.insert(line.substr(at + 1, line.find(' ', at + 1) - at - 1));
    return found;
}

// Runs month ends of every doctor (one read of the register) and of A1 and B2 alone (a reload each) while the
// writer works: each writes every file, and A1's and B2's files hold each moving person exactly once.
void expectOneStateWhileWritten(const std::string& aliasFile, const TempDir& dir, const std::string& label) {
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    for (const auto& codes : {std::vector<std::string>{"--all"}, std::vector<std::string>{"A1", "B2"}}) {
        for (int run = 0; run < 3; ++run) {
            const std::string out = dir.file("out");
            fs::remove_all(out);
            fs::create_directories(out);
            std::vector<std::string> arguments = codes;
            arguments.insert(arguments.end(), {"--out", out});
            ChildProcess exporting(exporter, arguments, aliasFile, dir.file("errors"));
            ASSERT_EQ(describeStatus(exporting.wait()), "exit status 0") << label << "\n" << exporting.errors();
            EXPECT_EQ(folderEntries(out).size(), codes.size() == 1 ? 70u : 2u) << label;
            const std::multiset<std::string> moving = movingPersonsIn({out + "/A1.txt", out + "/B2.txt"});
            EXPECT_EQ(moving.size(), 40u) << label << ": a person in both files or in neither";
            EXPECT_EQ(std::set<std::string>(moving.begin(), moving.end()).size(), moving.size()) << label;
        }
    }
}

std::vector<DoctorRow> seventyDoctors() {
    std::vector<DoctorRow> doctors{{"A1", "Petrovski", "Ilija"}, {"B2", "Nikolov", "Ivan"}};
    for (int d = 0; d < 68; ++d)
        doctors.push_back({"D" + std::to_string(d), "Lekar", "X"});
    return doctors;
}

std::vector<PersonRow> movingAndStaying() {
    std::vector<PersonRow> persons;
    for (int i = 0; i < 40; ++i)
        persons.push_back(personOf("M" + std::to_string(i), i % 2 ? "A1" : "B2", "Moving"));
    for (int i = 0; i < 20000; ++i)
        persons.push_back(personOf("S" + std::to_string(i), "D" + std::to_string(i % 68), "Staying"));
    return persons;
}

} // namespace

TEST(ChangingRegister, AMonthEndWhileAnotherProgramRegistersPersonsWritesEveryFileFromOneState) {
    ASSERT_FALSE(toolPath("PELMAROT_EXPORT_EXE").empty()) << "PELMAROT_EXPORT_EXE names the tool";
    for (const char* journal : {"WAL", "DELETE"}) {
        TempDir dir;
        const std::string path = dir.file("k.sqlite");
        writeSqliteRegister(path, seventyDoctors(), movingAndStaying());
        runSql(path, std::string("PRAGMA journal_mode = ") + journal);
        AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(path));
        RegisteringWriter writer([&](const std::string& sql) { runSql(path, sql); }, 40);
        expectOneStateWhileWritten(dir.file("aliases.ini"), dir, journal);
    }
    if (!testServerFolder())
        GTEST_SKIP() << "no PostgreSQL test server (the test command starts one)";
    TempDir dir;
    const std::string database = writePostgresRegister(seventyDoctors(), movingAndStaying());
    AliasFileScope scope(dir.file("aliases.ini"), postgresAlias(database));
    RegisteringWriter writer([&](const std::string& sql) { runPostgresSql(database, sql); }, 40);
    expectOneStateWhileWritten(dir.file("aliases.ini"), dir, "PostgreSQL");
}

namespace {

// The legacy program writing a table in place: `path` gets the next of `versions` over its bytes again and
// again, each write with a later time of change, until `period` has passed or the object goes.
class InPlaceWriter {
public:
    InPlaceWriter(std::string path, std::vector<std::string> versions, std::chrono::milliseconds period)
        : thread_([this, path = std::move(path), versions = std::move(versions), period] {
              const auto end = std::chrono::steady_clock::now() + period;
              for (long i = 1; !stop_ && std::chrono::steady_clock::now() < end; ++i) {
                  const files::FileDescriptor fd(::open(path.c_str(), O_WRONLY));
                  const std::string& bytes = versions[static_cast<std::size_t>(i) % versions.size()];
                  if (fd.valid() &&
                      ::pwrite(fd.get(), bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size())) {
                      const timespec changed[2] = {{0, UTIME_OMIT}, {1700000000 + i, 0}};
                      ::futimens(fd.get(), changed);
                  }
              }
          }) {}
    ~InPlaceWriter() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

// A Paradox table written in place while a list reads it: the list is read again, and is one version's whole;
// a table written during every read is an error that names it and what changed.
TEST(ChangingRegister, AParadoxTableWrittenInPlaceWhileItIsReadIsReadAgain) {
    TempDir dir;
    const std::vector<DoctorRow> doctors{{"A1", "Petrovski", "Ilija"}};
    std::vector<std::string> versions;
    for (const char* surname : {"Old", "New"}) {
        std::vector<PersonRow> persons;
        for (int i = 0; i < 4000; ++i)
            persons.push_back(personOf(std::to_string(100000 + i), "A1", surname));
        fs::create_directories(dir.file(surname));
        writeParadoxRegister(dir.file(surname), doctors, persons);
        versions.push_back(readFile(dir.file(surname) + "/Osigurenici.DB"));
    }
    ASSERT_EQ(versions[0].size(), versions[1].size());
    fs::copy(dir.file("Old"), dir.file("px"));
    const std::string live = dir.file("px/Osigurenici.DB");
    AliasFileScope scope(dir.file("aliases.ini"), paradoxAlias(dir.file("px")));
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    {
        InPlaceWriter writer(live, versions, std::chrono::minutes(1));
        try {
            list.reload("A1");
            ADD_FAILURE() << "a list read while its table changed throughout";
        } catch (const engine::EngineError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(live + " was changed by another program while it was read"), std::string::npos)
                << message;
            EXPECT_NE(message.find("it changed during each of 3 reads"), std::string::npos) << message;
        }
        EXPECT_FALSE(list.active());
    }
    InPlaceWriter writer(live, versions, std::chrono::milliseconds(150));
    list.reload("A1");
    const std::vector<std::string> names = surnamesOf(list);
    ASSERT_EQ(names.size(), 4000u);
    EXPECT_TRUE(std::all_of(names.begin(), names.end(), [&](const auto& name) { return name == names.front(); }))
        << "a list of two versions of its table";
}

// A writer that keeps an SQLite register locked past the reload's wait: the message says that another program is
// writing it and to try again, not that the file cannot be opened.
TEST(ChangingRegister, AReloadWhileAWriterHoldsTheRegisterLockedSaysSo) {
    TempDir dir;
    const std::string path = dir.file("k.sqlite");
    writeSqliteRegister(path, {{"A1", "Petrovski", "Ilija"}}, {personOf("1", "A1", "Old")});
    AliasFileScope scope(dir.file("aliases.ini"), AliasFileScope::sqliteAlias(path));
    data::Connection kdb;
    kdb.open();
    data::InsuredList list(kdb);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    const engine::SqliteConnection writer(raw);
    ASSERT_EQ(
        sqlite3_exec(writer.get(), "BEGIN EXCLUSIVE; UPDATE Osigurenici SET PRE = 'New'", nullptr, nullptr, nullptr),
        SQLITE_OK);
    try {
        list.reload("A1");
        ADD_FAILURE() << "a list read from a locked register";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(std::string(e.what()), "The database file " + path +
                                             " is being written by another program, which kept it locked for 5 "
                                             "seconds; try again in a moment");
    }
    sqlite3_exec(writer.get(), "COMMIT", nullptr, nullptr, nullptr);
    list.reload("A1");
    EXPECT_EQ(surnamesOf(list), std::vector<std::string>{"New"});
}

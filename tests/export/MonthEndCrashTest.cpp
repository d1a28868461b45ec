// A month end crashed at every step in turn (testsupport::CrashingFileSystem), both ways of reading the register
// and both ways of committing the files: what a person finds afterwards is, for each doctor, last month's file
// whole or this month's whole, never an empty or partial one; and the next month end leaves every file and no
// temporary one.
#include "export/MonthEnd.h"
#include "files/FileSystem.h"
#include "support/CrashingFileSystem.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// Four active doctors, 400 persons in turn; A1, B2 and C3 had a file last month, D4 is new.
struct CrashFixture {
    TempDir dir;
    AliasFileScope scope{dir.file("aliases.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite"))};
    std::map<std::string, std::string> reference;

    CrashFixture() {
        std::vector<PersonRow> persons;
        const char* codes[] = {"A1", "B2", "C3", "D4"};
        for (int i = 0; i < 400; ++i)
            persons.push_back({std::to_string(1000 + i),
                               "Prezime" + std::to_string(i % 7),
                               "T",
                               "Ime",
                               codes[i % 4],
                               std::to_string(i),
                               i % 3 == 0,
                               i % 5 == 0,
                               "2020-01-1" + std::to_string(i % 9),
                               {}});
        writeSqliteRegister(dir.file("k.sqlite"),
                            {{"A1", "P", "I"}, {"B2", "P", "I"}, {"C3", "P", "I"}, {"D4", "P", "I"}}, persons);
        fs::create_directory(dir.file("reference"));
        monthEnd(dir.file("reference"), exportfile::MonthEnd::Way::ReloadEach);
        for (const std::string& name : folderEntries(dir.file("reference")))
            reference[name] = readFile(dir.file("reference/" + name));
    }

    static std::string lastMonths(const std::string& name) { return "last month's " + name; }

    // A folder holding last month's files of A1, B2 and C3.
    std::string lastMonthsFolder(const std::string& name) const {
        const std::string folder = dir.file(name);
        fs::create_directory(folder);
        for (const std::string file : {"A1.txt", "B2.txt", "C3.txt"})
            std::ofstream(folder + "/" + file) << lastMonths(file);
        return folder;
    }

    static void monthEnd(const std::string& folder, exportfile::MonthEnd::Way way) {
        exportfile::MonthEnd run("kapitacija", data::RegionalSettings::defaults());
        run.run(run.activeDoctorCodes(), folder, {}, way);
    }
};

TEST(MonthEndCrash, EachDoctorsFileIsLastMonthsOrThisMonthsWholeAfterACrashAtEveryStep) {
    const CrashFixture fixture;
    ASSERT_EQ(fixture.reference.size(), 4u);
    struct Way {
        const char* name;
        exportfile::MonthEnd::Way way;
        bool oneSyncCovers;
    };
    const Way ways[] = {{"one read, one sync", exportfile::MonthEnd::Way::OnePass, true},
                        {"one read, a sync each", exportfile::MonthEnd::Way::OnePass, false},
                        {"a reload each", exportfile::MonthEnd::Way::ReloadEach, false}};
    for (const Way& way : ways) {
        int crashAt = 0;
        for (;; ++crashAt) {
            SCOPED_TRACE(std::string(way.name) + ", crash at step " + std::to_string(crashAt));
            const std::string run = std::string(way.name) + " " + std::to_string(crashAt);
            const std::string out = fixture.lastMonthsFolder(run);
            fs::create_directory(fixture.dir.file(run + " keep"));
            CrashingFileSystem crashing(fixture.dir.file(run + " keep"), crashAt, way.oneSyncCovers);
            {
                const files::ScopedFileSystem installed(crashing);
                CrashFixture::monthEnd(out, way.way);
            }
            // A crash straight after a month end that ended loses nothing of it.
            crashing.restoreWhatSurvives();
            if (!crashing.crashed()) {
                for (const auto& [name, bytes] : fixture.reference)
                    EXPECT_EQ(readFile(out + "/" + name), bytes) << "after the end: " << name;
                break;
            }
            for (const auto& [name, bytes] : fixture.reference) {
                if (!fs::exists(out + "/" + name)) {
                    EXPECT_EQ(name, "D4.txt") << "only a doctor new this month may have no file";
                    continue;
                }
                const std::string found = readFile(out + "/" + name);
                EXPECT_TRUE(found == bytes || found == CrashFixture::lastMonths(name))
                    << name << " holds " << found.size() << " bytes";
            }
            CrashFixture::monthEnd(out, way.way);
            std::vector<std::string> names;
            for (const auto& [name, bytes] : fixture.reference) {
                names.push_back(name);
                EXPECT_EQ(readFile(out + "/" + name), bytes) << "after the next month end: " << name;
            }
            EXPECT_EQ(folderEntries(out), names) << "after the next month end";
        }
        EXPECT_GT(crashAt, 12) << way.name << ": each of four files is created, written, synced and renamed";
    }
}

} // namespace

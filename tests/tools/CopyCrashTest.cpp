// A copy into a new SQLite file crashed at every step in turn (testsupport::CrashingFileSystem): the target is
// then either not there, as before the copy, or the complete copy; and the next copy leaves no temporary file.
#include "engine/Engine.h"
#include "files/FileSystem.h"
#include "support/CrashingFileSystem.h"
#include "support/FixtureRegister.h"
#include "tools/copy/RegisterCopy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// Every row of both tables as text, in stored order, or "damaged" when SQLite finds the file unsound.
std::string contentsOf(const std::string& path) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::string text;
    const auto collect = [](void* out, int columns, char** values, char**) {
        for (int i = 0; i < columns; ++i)
            *static_cast<std::string*>(out) += std::string(values[i] ? values[i] : "NULL") + "|";
        *static_cast<std::string*>(out) += "\n";
        return 0;
    };
    const bool read = opened == SQLITE_OK &&
                      sqlite3_exec(db, "PRAGMA integrity_check; SELECT * FROM Lekari; SELECT * FROM Osigurenici",
                                   collect, &text, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return read ? text : "damaged";
}

void copy(const std::string& from, const std::string& to) {
    engine::Engine engine;
    const auto source = engine.openDatabase(from);
    const auto target = registercopy::sqliteRegisterWriter(to);
    registercopy::copyRegister(*source, *target, {});
}

TEST(CopyCrash, TheNewFileIsAbsentOrTheCompleteCopyAfterACrashAtEveryStep) {
    TempDir dir;
    std::vector<PersonRow> persons;
    for (int i = 0; i < 2000; ++i)
        persons.push_back({std::to_string(1000 + i),
                           "Prezime",
                           "T",
                           "Ime",
                           i % 2 ? "A1" : "B2",
                           std::to_string(i),
                           i % 3 == 0,
                           false,
                           "2020-01-01",
                           {}});
    writeSqliteRegister(dir.file("source.sqlite"), {{"A1", "P", "I"}, {"B2", "P", "I"}}, persons);
    fs::create_directory(dir.file("reference"));
    copy(dir.file("source.sqlite"), dir.file("reference/new.sqlite"));
    const std::string complete = contentsOf(dir.file("reference/new.sqlite"));
    ASSERT_NE(complete.find("1999|"), std::string::npos);

    int crashAt = 0;
    for (;; ++crashAt) {
        SCOPED_TRACE("crash at step " + std::to_string(crashAt));
        const std::string out = dir.file("out" + std::to_string(crashAt));
        const std::string target = out + "/new.sqlite";
        fs::create_directory(out);
        fs::create_directory(out + " keep");
        CrashingFileSystem crashing(out + " keep", crashAt, false);
        {
            const files::ScopedFileSystem installed(crashing);
            try {
                copy(dir.file("source.sqlite"), target);
            } catch (const std::runtime_error&) {
                EXPECT_TRUE(crashing.crashed());
            }
        }
        // A crash straight after a copy that ended loses nothing of it.
        crashing.restoreWhatSurvives();
        if (!crashing.crashed()) {
            EXPECT_EQ(contentsOf(target), complete);
            break;
        }
        if (fs::exists(target)) {
            EXPECT_EQ(contentsOf(target), complete);
        } else {
            copy(dir.file("source.sqlite"), target);
        }
        EXPECT_EQ(folderEntries(out), std::vector<std::string>{"new.sqlite"}) << "after the next copy";
        EXPECT_EQ(contentsOf(target), complete) << "after the next copy";
    }
    EXPECT_GE(crashAt, 4) << "create, sync, rename, sync of the folder";
}

} // namespace

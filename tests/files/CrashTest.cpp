// A crash at every step of replacing a file: the file is the earlier one or the new one, whole; the temporary
// file a crash leaves goes with the next sweep. And the simulated crash itself: it loses what was not synced.
#include "files/AtomicFile.h"
#include "files/FileSystem.h"
#include "files/StaleTemporaryFiles.h"
#include "support/CrashingFileSystem.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

using testsupport::CrashingFileSystem;
using testsupport::folderEntries;
using testsupport::readFile;
using testsupport::TempDir;

TEST(Crash, AtEveryStepOfACommitTheFileIsTheEarlierOrTheNewOneWhole) {
    const std::string earlier = "last month's file";
    const std::string written(100000, 'n');
    std::set<std::string> found;
    for (int crashAt = 0;; ++crashAt) {
        SCOPED_TRACE("crash at step " + std::to_string(crashAt));
        TempDir dir;
        std::filesystem::create_directory(dir.file("out"));
        std::filesystem::create_directory(dir.file("keep"));
        std::ofstream(dir.file("out/a.txt"), std::ios::binary) << earlier;
        CrashingFileSystem crashing(dir.file("keep"), crashAt, false);
        {
            const files::ScopedFileSystem installed(crashing);
            try {
                files::AtomicFile file(dir.file("out"), "a.txt");
                file.write(written);
                file.commit();
            } catch (const files::FileError&) {
                EXPECT_TRUE(crashing.crashed());
            }
        }
        // A crash straight after the commit ended loses nothing of it.
        crashing.restoreWhatSurvives();
        if (!crashing.crashed()) {
            EXPECT_EQ(readFile(dir.file("out/a.txt")), written);
            EXPECT_GE(crashAt, 5) << "create, mode, write, sync, rename, sync of the folder";
            break;
        }
        const std::string survived = readFile(dir.file("out/a.txt"));
        EXPECT_TRUE(survived == earlier || survived == written) << survived.size() << " bytes";
        found.insert(survived == earlier ? "earlier" : "new");
        files::removeStaleTemporaryFiles(dir.file("out"), ".txt");
        EXPECT_EQ(folderEntries(dir.file("out")), std::vector<std::string>{"a.txt"});
    }
    // Every crash comes before the sync of the folder that makes the new name durable: each leaves the earlier
    // file, and only the commit that ends keeps the new one.
    EXPECT_EQ(found, (std::set<std::string>{"earlier"}));
}

// What the simulated crash loses: a file renamed into place without a sync of its data comes back empty, and a
// name given without a sync of the folder goes.
TEST(Crash, LosesTheDataNotSyncedAndTheNamesNotMadeDurable) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("keep"));
    CrashingFileSystem crashing(dir.file("keep"), 7, false);
    {
        const files::ScopedFileSystem installed(crashing);
        files::FileSystem& system = files::fileSystem();
        const files::FileDescriptor folder(system.openFolder(dir.path().c_str()));
        const files::FileDescriptor unsynced(system.openAt(folder.get(), "unsynced", O_WRONLY | O_CREAT, 0644));
        ASSERT_EQ(system.write(unsynced.get(), "data", 4), 4);
        ASSERT_EQ(system.rename(folder.get(), "unsynced", "renamed"), 0);
        ASSERT_EQ(system.syncFile(folder.get()), 0);
        const files::FileDescriptor unnamed(system.openAt(folder.get(), "unnamed", O_WRONLY | O_CREAT, 0644));
        ASSERT_EQ(system.write(unnamed.get(), "data", 4), 4);
        ASSERT_EQ(system.syncFile(unnamed.get()), 0);
        EXPECT_EQ(system.rename(folder.get(), "unnamed", "named"), -1) << "the crash";
    }
    ASSERT_TRUE(crashing.crashed());
    crashing.restoreWhatSurvives();
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"keep", "renamed"}));
    EXPECT_EQ(readFile(dir.file("renamed")), "");
}

} // namespace

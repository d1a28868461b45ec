// The file layer on its own: files replaced whole or not at all, a batch committed either way, the failures of
// the file system through its seam. No register is needed.
#include "files/AtomicFile.h"
#include "files/AtomicBatch.h"
#include "files/FileSystem.h"
#include "files/Folder.h"
#include "support/FaultyFileSystem.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::FaultyFileSystem;
using testsupport::folderEntries;
using testsupport::readFile;
using testsupport::TempDir;

void writeEarlier(const TempDir& dir, const std::string& name) {
    std::ofstream(dir.file(name), std::ios::binary) << "earlier " << name;
}

TEST(AtomicFile, CommitReplacesWholeCommitAsNewNeverAndAnUncommittedFileLeavesNothing) {
    TempDir dir;
    writeEarlier(dir, "a.txt");
    {
        files::AtomicFile file(dir.path(), "a.txt");
        file.write("new a");
        EXPECT_EQ(folderEntries(dir.path()).size(), 2u) << "the bytes go to a temporary file beside the earlier one";
        EXPECT_EQ(readFile(dir.file("a.txt")), "earlier a.txt");
        file.commit();
        EXPECT_THROW(file.write("more"), files::FileError);
    }
    EXPECT_EQ(readFile(dir.file("a.txt")), "new a");
    {
        files::AtomicFile file(dir.path(), "a.txt");
        file.write("never");
        EXPECT_FALSE(file.commitAsNew());
    }
    {
        files::AtomicFile file(dir.path(), "b.txt");
        file.write("new b");
        EXPECT_TRUE(file.commitAsNew());
    }
    {
        files::AtomicFile file(dir.path(), "c.txt");
        file.write("abandoned");
    }
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(readFile(dir.file("a.txt")), "new a");
    EXPECT_EQ(readFile(dir.file("b.txt")), "new b");

    for (const std::string& name : std::vector<std::string>{"", ".", "..", "x/y", std::string("x\0y", 3)})
        EXPECT_THROW(files::AtomicFile(dir.path(), name), files::FileError) << name;
    EXPECT_EQ(folderEntries(dir.path()).size(), 2u);
}

TEST(AtomicFile, AFullDiskFailsTheWriteNamingTheFileAndLeavesTheEarlierFileWhole) {
    TempDir dir;
    writeEarlier(dir, "a.txt");
    FaultyFileSystem full;
    full.bytesLeft = 10;
    const files::ScopedFileSystem installed(full);
    try {
        files::AtomicFile file(dir.path(), "a.txt");
        file.write("twelve bytes");
        FAIL() << "a write past the free space must throw";
    } catch (const files::FileError& e) {
        const std::string message = e.what();
        EXPECT_TRUE(message.starts_with("Cannot write " + dir.file(".a.txt.pelmarot-")) &&
                    message.ends_with(": No space left on device"))
            << message;
    }
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(readFile(dir.file("a.txt")), "earlier a.txt");
}

// Three files of one folder committed together, both ways: one sync of the file system for all of them where
// it covers every file, a sync of each file elsewhere. A rename that fails leaves its file's earlier version; a
// sync that fails leaves every earlier file.
TEST(AtomicBatch, CommitsEveryFileByOneSyncOrBySyncsOfEachAndLeavesWhatFailedAsItWas) {
    struct Case {
        bool oneSyncCovers;
        std::string failRenameTo;
        bool failSyncs;
        std::vector<bool> committed;
        int fileSystemSyncs;
        int fileSyncs; // before the folder's own
    };
    const Case cases[] = {
        {true, "", false, {true, true, true}, 1, 0},       {false, "", false, {true, true, true}, 0, 3},
        {true, "b.txt", false, {true, false, true}, 1, 0}, {false, "b.txt", false, {true, false, true}, 0, 3},
        {true, "", true, {false, false, false}, 1, 0},     {false, "", true, {false, false, false}, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.oneSyncCovers ? "one sync" : "a sync each") + ", rename fails: " + c.failRenameTo +
                     ", syncs fail: " + (c.failSyncs ? "yes" : "no"));
        TempDir dir;
        const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt"};
        for (const std::string& name : names)
            writeEarlier(dir, name);
        FaultyFileSystem faulty;
        faulty.oneSyncCovers = c.oneSyncCovers;
        faulty.failRenameTo = c.failRenameTo;
        faulty.failSyncs = c.failSyncs;
        const files::ScopedFileSystem installed(faulty);

        files::AtomicBatch batch(dir.path());
        std::vector<std::unique_ptr<files::AtomicFile>> owned;
        std::vector<files::AtomicFile*> written;
        for (const std::string& name : names) {
            owned.push_back(std::make_unique<files::AtomicFile>(dir.path(), name));
            owned.back()->write("new " + name);
            written.push_back(owned.back().get());
        }
        EXPECT_EQ(batch.commit(written), c.committed);
        EXPECT_EQ(faulty.fileSystemSyncs, c.fileSystemSyncs);
        EXPECT_EQ(faulty.fileSyncs, c.fileSyncs);
        if (!c.failSyncs) {
            batch.syncNames();
            EXPECT_EQ(faulty.fileSyncs, c.fileSyncs + 1) << "the folder is synced once";
        }
        owned.clear();
        EXPECT_EQ(folderEntries(dir.path()), names) << "no temporary file stays";
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(readFile(dir.file(names[i])), (c.committed[i] ? "new " : "earlier ") + names[i]);
    }
}

// The system's own answer: the view of processes is no file system of the local disk.
TEST(AtomicBatch, OneSyncCoversEveryFileOnlyOnALocalFileSystem) {
    const files::FileDescriptor proc = files::openFolder("/proc");
    EXPECT_FALSE(files::fileSystem().oneSyncCoversEveryFile(proc.get()));
    EXPECT_THROW(files::AtomicBatch("/no/such/folder"), files::FileError);
}

} // namespace

#include "export/ExportFile.h"
#include "data/DataError.h"
#include "export/DoctorExport.h"
#include "export/ExportFormat.h"
#include "files/FileDescriptor.h"
#include "files/TemporaryName.h"

#include "export/ExportTestRegister.h"
#include "support/FaultyFileSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using exporttest::namesIn;
using exporttest::OpenRegister;
using testsupport::PersonRow;
using testsupport::readFile;
using testsupport::TempDir;

const std::string kEarlierExport = "an earlier export\r\n";

// Twenty persons: about 2,400 bytes, enough to cross the small limits the tests set.
std::vector<PersonRow> twentyPersons() {
    std::vector<PersonRow> persons;
    for (int i = 0; i < 20; ++i)
        persons.push_back(
            {std::to_string(1000 + i), "Petrov", "Boris", "Ana", "A1", "7", false, false, std::nullopt, std::nullopt});
    return persons;
}

// A folder holding an earlier export "A1.txt", and a register whose list for A1 is loaded (or left closed).
class ExportOverEarlierFile : public ::testing::Test {
protected:
    ExportOverEarlierFile() {
        std::ofstream(out.file("A1.txt"), std::ios::binary) << kEarlierExport;
        reg.list().reload("A1");
    }

    // The state every failed export must leave: the earlier export whole and nothing beside it.
    void expectEarlierExportUntouched() {
        EXPECT_EQ(namesIn(out.path()), std::set<std::string>{"A1.txt"});
        EXPECT_EQ(readFile(out.file("A1.txt")), kEarlierExport);
    }

    TempDir out;
    OpenRegister reg{twentyPersons()};
    const data::RegionalSettings settings = data::RegionalSettings::defaults();
};

TEST_F(ExportOverEarlierFile, ClosedListThrowsItsOwnErrorAndWritesNothing) {
    reg.list().close();
    try {
        exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
        FAIL() << "exporting a closed list must throw";
    } catch (const data::DataError& e) {
        EXPECT_STREQ(e.what(), "qOsigurenici: Cannot perform this operation on a closed dataset");
    }
    expectEarlierExportUntouched();
}

// Passes the first `limit` bytes on to the real file, then fails as a broken medium would.
class FailingAfter : public exportfile::ExportOutput {
public:
    struct Failure : std::runtime_error {
        Failure() : std::runtime_error("injected write failure") {}
    };
    FailingAfter(exportfile::ExportOutput& target, std::size_t limit) : target_(target), left_(limit) {}
    void write(std::string_view bytes) override {
        target_.write(bytes.substr(0, left_));
        if (bytes.size() > left_)
            throw Failure();
        left_ -= bytes.size();
    }

private:
    exportfile::ExportOutput& target_;
    std::size_t left_;
};

TEST_F(ExportOverEarlierFile, WriteFailingPartWayRemovesThePartialTemporaryFile) {
    {
        exportfile::ExportFile file(out.path(), "A1.txt");
        FailingAfter failing(file, 500);
        EXPECT_THROW(exportfile::writeExport(reg.list(), settings, failing), FailingAfter::Failure);
        // The partial bytes really went to a temporary file beside the earlier export, not over it.
        const std::string temporary = std::filesystem::path(file.atomicFile().temporaryPath()).filename().string();
        EXPECT_EQ(temporary.rfind(".A1.txt.", 0), 0u) << temporary;
        EXPECT_EQ(namesIn(out.path()), (std::set<std::string>{"A1.txt", temporary}));
        EXPECT_EQ(std::filesystem::file_size(file.atomicFile().temporaryPath()), 500u);
        EXPECT_EQ(readFile(out.file("A1.txt")), kEarlierExport);
    }
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, FileSystemFullRemovesTheTemporaryFile) {
    // The disk takes the first 1,000 bytes and then no more, as a full medium does.
    testsupport::FaultyFileSystem full;
    full.bytesLeft = 1000;
    const files::ScopedFileSystem installed(full);
    try {
        exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
        FAIL() << "an export onto a full disk must throw";
    } catch (const files::FileError& e) {
        const std::string message = e.what();
        EXPECT_TRUE(message.starts_with("Cannot write " + out.file(".A1.txt.pelmarot-")) &&
                    message.ends_with(": No space left on device"))
            << message;
    }
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, NameTakenByAFolderFailsAtTheRename) {
    std::filesystem::create_directory(out.file("X1.txt"));
    try {
        exportfile::exportDoctorFile(out.path(), "X1", reg.list(), settings);
        FAIL() << "replacing a folder must fail";
    } catch (const files::FileError& e) {
        EXPECT_NE(std::string(e.what()).find(out.file("X1.txt")), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_directory(out.file("X1.txt")));
    EXPECT_TRUE(std::filesystem::is_empty(out.file("X1.txt")));
    std::filesystem::remove(out.file("X1.txt"));
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, RemovedFolderFailsWithoutCreatingIt) {
    const std::string gone = out.file("gone");
    std::filesystem::create_directory(gone);
    std::filesystem::remove(gone);
    try {
        exportfile::exportDoctorFile(gone, "A1", reg.list(), settings);
        FAIL() << "exporting into a removed folder must fail";
    } catch (const files::FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open the folder " + gone + ": No such file or directory");
    }
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, CodeThatWouldLeaveTheFolderWritesNothingAnywhere) {
    // The export folder is inside `out`, so "../A1" would land on the earlier export.
    const std::string inner = out.file("inner");
    std::filesystem::create_directory(inner);
    const std::string codes[] = {"../A1", "A/1", "/", std::string("A1\0", 3), std::string("\0/x", 3)};
    for (const std::string& code : codes) {
        EXPECT_THROW(exportfile::exportDoctorFile(inner, code, reg.list(), settings), files::FileError);
        EXPECT_TRUE(std::filesystem::is_empty(inner));
    }
    std::filesystem::remove(inner);
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, ReplacementKeepsTheEarlierFilesModeAndANewFileTakesTheUmask) {
    // An export holds identity numbers: a file an administrator restricted must not come back readable.
    struct Case {
        std::optional<mode_t> earlierMode; // nullopt: no earlier file
        mode_t umask;
        mode_t expected;
    };
    const Case cases[] = {
        {std::nullopt, 027, 0640}, {std::nullopt, 022, 0644}, {0600, 022, 0600},
        {0640, 002, 0640},         {0604, 077, 0604},         {0644, 077, 0644},
    };
    reg.list().reload("B2"); // nobody: the file is the two head lines
    for (const Case& c : cases) {
        std::filesystem::remove(out.file("A1.txt"));
        if (c.earlierMode) {
            std::ofstream(out.file("A1.txt")) << kEarlierExport;
            ASSERT_EQ(chmod(out.file("A1.txt").c_str(), *c.earlierMode), 0);
        }
        const mode_t previousMask = umask(c.umask);
        exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
        umask(previousMask);

        EXPECT_EQ(namesIn(out.path()), std::set<std::string>{"A1.txt"});
        EXPECT_EQ(readFile(out.file("A1.txt")), "  FAKSIMIL           EMBG                 IME                TIME"
                                                "                 PRE   DATUM PR.    BROJ PR.  PROCENT\r\n \r\n");
        struct stat info {};
        ASSERT_EQ(stat(out.file("A1.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.expected)
            << std::oct << "earlier mode " << c.earlierMode.value_or(0) << ", umask " << c.umask;
    }

    // Nor are the bytes ever in a file more open than the one they will replace, not even before the rename.
    ASSERT_EQ(chmod(out.file("A1.txt").c_str(), 0600), 0);
    const mode_t previousMask = umask(0);
    exportfile::ExportFile file(out.path(), "A1.txt");
    umask(previousMask);
    struct stat info {};
    ASSERT_EQ(stat(file.atomicFile().temporaryPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// The temporary files of exports that died go with the next export into the folder; everything else stays,
// the user's own hidden files of the same shape among them.
TEST_F(ExportOverEarlierFile, ExportRemovesStaleTemporaryFilesAndNothingElse) {
    std::random_device random;
    std::set<std::string> stale;
    for (const std::string finalName : {"A1.txt", ".txt",
                                        "\xd0\x9f"
                                        "1.txt",
                                        "B2.txt"})
        stale.insert(files::randomTemporaryName(finalName, random));
    const std::string dead = files::randomTemporaryName("A1.txt", random);
    std::string forged = dead;
    forged.back() = forged.back() == 'x' ? 'y' : 'x';
    const std::set<std::string> unrelated = {".A1.txt", ".A1.txt.Ab3dE9", ".notes.txt.backup", ".report.txt.draft1",
                                             "A1.txt.Ab3dE9", ".profile", "B2.txt", ".A1.TXT.Ab3dE9", dead + ".x",
                                             "." + dead.substr(3), forged,
                                             // A real name moved to another final name fails its check.
                                             ".B2" + dead.substr(3)};
    for (const std::string& name : stale)
        std::ofstream(out.file(name)) << "part of a dead export";
    for (const std::string& name : unrelated)
        std::ofstream(out.file(name)) << "someone else's file";
    // Only regular files go: a folder or a link of the pattern stays, and so does what the link points to.
    const std::string folder = files::randomTemporaryName("C3.txt", random);
    const std::string link = files::randomTemporaryName("D4.txt", random);
    std::filesystem::create_directory(out.file(folder));
    std::filesystem::create_symlink("B2.txt", out.file(link));

    exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);

    std::set<std::string> expected = unrelated;
    expected.insert({"A1.txt", folder, link});
    EXPECT_EQ(namesIn(out.path()), expected);
    for (const std::string& name : unrelated)
        EXPECT_EQ(readFile(out.file(name)), "someone else's file") << name;
}

// Reads what a forked writer sends through a pipe, up to its end.
std::string readAll(int fd) {
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

TEST_F(ExportOverEarlierFile, TemporaryFileOfALiveWriterStaysUntilTheWriterDies) {
    // The writer is another process in the middle of an export: it has written part of C3.txt and waits.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    files::FileDescriptor readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        readEnd.reset();
        exportfile::ExportFile file(out.path(), "C3.txt");
        file.write("part of a live export");
        const std::string name = std::filesystem::path(file.atomicFile().temporaryPath()).filename().string();
        if (::write(writeEnd.get(), name.data(), name.size()) != static_cast<ssize_t>(name.size()))
            _exit(1);
        writeEnd.reset();
        for (;;)
            pause();
    }
    writeEnd.reset();
    const std::string temporary = readAll(readEnd.get());
    readEnd.reset();
    ASSERT_EQ(temporary.rfind(".C3.txt.", 0), 0u) << temporary;

    exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
    EXPECT_EQ(namesIn(out.path()), (std::set<std::string>{"A1.txt", temporary}));
    EXPECT_EQ(readFile(out.file(temporary)), "part of a live export");

    kill(writer, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
    EXPECT_EQ(namesIn(out.path()), std::set<std::string>{"A1.txt"});
}

TEST_F(ExportOverEarlierFile, ExportsSweepingTheFolderNeverTakeAConcurrentWritersFile) {
    // Two writers replace their files over and over while single exports into the same folder sweep it each
    // time: every replacement must succeed and leave exactly its own bytes.
    constexpr int kRounds = 150;
    std::atomic<int> writersLeft{2};
    std::vector<std::string> failures(2);
    const auto writer = [&](int id) {
        const std::string name = "W" + std::to_string(id) + ".txt";
        try {
            for (int round = 0; round < kRounds; ++round) {
                exportfile::ExportFile file(out.path(), name);
                file.write(name + " round " + std::to_string(round));
                file.atomicFile().commit();
            }
        } catch (const std::exception& e) {
            failures[static_cast<std::size_t>(id)] = e.what();
        }
        --writersLeft;
    };
    std::thread first(writer, 0), second(writer, 1);
    int sweeps = 0;
    for (; writersLeft > 0; ++sweeps)
        exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
    first.join();
    second.join();

    EXPECT_EQ(failures, std::vector<std::string>(2));
    EXPECT_GT(sweeps, 0);
    EXPECT_EQ(namesIn(out.path()), (std::set<std::string>{"A1.txt", "W0.txt", "W1.txt"}));
    EXPECT_EQ(readFile(out.file("W0.txt")), "W0.txt round " + std::to_string(kRounds - 1));
    EXPECT_EQ(readFile(out.file("W1.txt")), "W1.txt round " + std::to_string(kRounds - 1));
}

} // namespace

#include "data/DataError.h"
#include "export/DoctorExport.h"
#include "export/ExportFile.h"
#include "export/ExportFormat.h"

#include "export/ExportTestRegister.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
        persons.push_back({std::to_string(1000 + i), "Petrov", "Boris", "Ana", "A1", "7", false, false, std::nullopt,
                           std::nullopt});
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
        const std::string temporary = std::filesystem::path(file.temporaryPath()).filename().string();
        EXPECT_EQ(temporary.rfind(".A1.txt.", 0), 0u) << temporary;
        EXPECT_EQ(namesIn(out.path()), (std::set<std::string>{"A1.txt", temporary}));
        EXPECT_EQ(std::filesystem::file_size(file.temporaryPath()), 500u);
        EXPECT_EQ(readFile(out.file("A1.txt")), kEarlierExport);
    }
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, FileSystemFullRemovesTheTemporaryFile) {
    // The limit applies to the child alone; with SIGXFSZ ignored a write past it fails with EFBIG, as on a
    // full medium. The child reports through its exit code: 0 for the expected error, 1 for none, 2 for another.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(3);
        try {
            exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
        } catch (const exportfile::ExportError& e) {
            const std::string message = e.what();
            _exit(message.find("File too large") != std::string::npos && message.find("A1.txt") != std::string::npos
                      ? 0
                      : 2);
        } catch (...) {
            _exit(2);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, NameTakenByAFolderFailsAtTheRename) {
    std::filesystem::create_directory(out.file("X1.txt"));
    try {
        exportfile::exportDoctorFile(out.path(), "X1", reg.list(), settings);
        FAIL() << "replacing a folder must fail";
    } catch (const exportfile::ExportError& e) {
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
    } catch (const exportfile::ExportError& e) {
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
        EXPECT_THROW(exportfile::exportDoctorFile(inner, code, reg.list(), settings), exportfile::ExportError);
        EXPECT_TRUE(std::filesystem::is_empty(inner));
    }
    std::filesystem::remove(inner);
    expectEarlierExportUntouched();
}

TEST_F(ExportOverEarlierFile, SuccessReplacesTheEarlierExportWithTheUsualFileMode) {
    reg.list().reload("B2"); // nobody: the file is the two head lines
    const mode_t previousMask = umask(027);
    exportfile::exportDoctorFile(out.path(), "A1", reg.list(), settings);
    umask(previousMask);

    EXPECT_EQ(namesIn(out.path()), std::set<std::string>{"A1.txt"});
    EXPECT_EQ(readFile(out.file("A1.txt")), "  FAKSIMIL           EMBG                 IME                TIME"
                                            "                 PRE   DATUM PR.    BROJ PR.  PROCENT\r\n \r\n");
    struct stat info {};
    ASSERT_EQ(stat(out.file("A1.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

} // namespace

// pelmarot-export, run as the built executable (PELMAROT_EXPORT_EXE) over a demo register that
// pelmarot-demo-db (PELMAROT_DEMO_DB_EXE) makes big enough for the export to be still running when a signal comes.
#include "files/TemporaryName.h"
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::describeStatus;
using testsupport::folderEntries;
using testsupport::readFile;
using testsupport::TempDir;

bool isTemporaryName(const std::string& name) { return files::isTemporaryNameFor(name, ".txt"); }

struct FolderState {
    std::size_t finished = 0;
    std::size_t temporary = 0;
};

FolderState stateOf(const std::string& folder) {
    FolderState state;
    for (const std::string& name : folderEntries(folder))
        ++(isTemporaryName(name) ? state.temporary : state.finished);
    return state;
}

// pelmarot-export run as a child process.
class ExportProcess : public testsupport::ChildProcess {
public:
    ExportProcess(const std::vector<std::string>& arguments, const std::string& aliasFile, std::string errorsFile,
                  const std::function<void()>& inChild = {})
        : ChildProcess(testsupport::toolPath("PELMAROT_EXPORT_EXE"), arguments, aliasFile, std::move(errorsFile),
                       inChild) {}
};

// One demo register for every test here, with every active doctor's file as an uninterrupted run writes it.
class ExportInterruption : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("PELMAROT_DEMO_DB_EXE") || !std::getenv("PELMAROT_EXPORT_EXE"))
            return;
        dir_ = std::make_unique<TempDir>();
        // About 135 active doctors with some 1,900 persons each: a couple of seconds of export, most of it with
        // several temporary files open at once.
        const std::string generate = std::string("'") + std::getenv("PELMAROT_DEMO_DB_EXE") +
                                     "' --doctors 150 --persons 300000 --seed 3 '" + dir_->file("register.sqlite") +
                                     "' >/dev/null";
        ASSERT_EQ(std::system(generate.c_str()), 0);
        std::ofstream(dir_->file("aliases.ini"))
            << testsupport::AliasFileScope::sqliteAlias(dir_->file("register.sqlite"));
        fs::create_directory(dir_->file("reference"));
        ExportProcess reference({"--all", "--out", dir_->file("reference")}, dir_->file("aliases.ini"),
                                dir_->file("reference.log"));
        const int status = reference.wait();
        ASSERT_EQ(describeStatus(status), "exit status 0") << reference.errors();
        ASSERT_GT(folderEntries(dir_->file("reference")).size(), 100u);
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        if (!dir_)
            GTEST_SKIP() << "needs PELMAROT_DEMO_DB_EXE and PELMAROT_EXPORT_EXE (the test command sets both)";
    }

    static std::string aliasFile() { return dir_->file("aliases.ini"); }
    static std::string referenceFile(const std::string& name) { return dir_->file("reference/" + name); }

    // A new, empty output folder beside the reference.
    static std::string freshFolder(const std::string& name) {
        fs::create_directory(dir_->file(name));
        return dir_->file(name);
    }

    // Waits until the export has finished `finished` files or more and is writing others, so that a signal
    // finds both. An export of a few doctors reads and finishes them one by one; a month end of every doctor
    // reads the register once with all their files open, and finishes them only at the end.
    static ::testing::AssertionResult waitUntilMidway(ExportProcess& process, const std::string& folder,
                                                      std::size_t finished = 3) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < deadline) {
            const FolderState state = stateOf(folder);
            if (state.finished >= finished && state.temporary >= 1)
                return ::testing::AssertionSuccess();
            if (!process.running())
                return ::testing::AssertionFailure() << "the export ended (" << describeStatus(process.wait())
                                                     << ") before it was seen midway; make the register bigger";
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return ::testing::AssertionFailure() << "the export did not get midway within two minutes";
    }

    // Every file in the folder is finished and exactly as the uninterrupted run wrote it.
    static void expectOnlyCompleteFiles(const std::string& folder) {
        for (const std::string& name : folderEntries(folder)) {
            EXPECT_FALSE(isTemporaryName(name)) << "left behind: " << name;
            ASSERT_TRUE(fs::exists(referenceFile(name))) << name;
            EXPECT_TRUE(readFile(folder + "/" + name) == readFile(referenceFile(name))) << name << " is not complete";
        }
    }

    static inline std::unique_ptr<TempDir> dir_;
};

// The codes of the first doctors of the reference: few enough that they are read one by one.
std::vector<std::string> someCodes(const std::vector<std::string>& referenceNames, std::size_t count) {
    std::vector<std::string> codes;
    for (std::size_t i = 0; i < count && i < referenceNames.size(); ++i)
        codes.push_back(referenceNames[i].substr(0, referenceNames[i].size() - 4));
    return codes;
}

TEST_F(ExportInterruption, TerminationSignalRemovesTheUnfinishedFilesAndKeepsTheFinishedOnes) {
    const std::map<int, std::string> signalNames = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
    const std::vector<std::string> reference = folderEntries(dir_->file("reference"));
    for (const auto& [sig, name] : signalNames) {
        // 30 doctors, read and finished one by one; then every doctor, from one read of the register.
        for (const bool everyDoctor : {false, true}) {
            SCOPED_TRACE(name + (everyDoctor ? ", every doctor" : ", 30 doctors"));
            const std::string out = freshFolder("out-" + name + (everyDoctor ? "-all" : "-some"));
            std::vector<std::string> arguments = {"--out", out};
            if (everyDoctor)
                arguments.push_back("--all");
            for (const std::string& code : everyDoctor ? std::vector<std::string>{} : someCodes(reference, 30))
                arguments.push_back(code);
            ExportProcess process(arguments, aliasFile(), out + ".log");
            ASSERT_TRUE(waitUntilMidway(process, out, everyDoctor ? 0 : 3));
            ASSERT_EQ(kill(process.pid(), sig), 0);
            const int status = process.wait();

            EXPECT_EQ(describeStatus(status), "exit status " + std::to_string(128 + sig)) << process.errors();
            const std::regex line("(^|\n)pelmarot-export: interrupted by " + name +
                                  "; [0-9]+ unfinished files? removed\n$");
            EXPECT_TRUE(std::regex_search(process.errors(), line)) << process.errors();
            expectOnlyCompleteFiles(out);
            const std::size_t written = folderEntries(out).size();
            EXPECT_GE(written, everyDoctor ? 0u : 3u);
            EXPECT_LT(written, everyDoctor ? reference.size() : 30u) << "the signal came too late to test";
        }
    }
}

TEST_F(ExportInterruption, HangupIgnoredByTheCallerLetsTheExportFinish) {
    // nohup starts a program with SIGHUP ignored; the export must keep that and write every file.
    const std::string out = freshFolder("out-nohup");
    ExportProcess process({"--all", "--out", out}, aliasFile(), out + ".log", [] { std::signal(SIGHUP, SIG_IGN); });
    ASSERT_TRUE(waitUntilMidway(process, out, 0));
    ASSERT_EQ(kill(process.pid(), SIGHUP), 0);
    EXPECT_EQ(describeStatus(process.wait()), "exit status 0") << process.errors();
    EXPECT_EQ(folderEntries(out), folderEntries(dir_->file("reference")));
    expectOnlyCompleteFiles(out);
}

TEST_F(ExportInterruption, FileSizeLimitFailsTheBigFilesByNameAndWritesTheOthers) {
    // A limit between the sizes of the files: the smaller half fit, the bigger half cannot be written.
    std::vector<std::uintmax_t> sizes;
    for (const std::string& name : folderEntries(dir_->file("reference")))
        sizes.push_back(fs::file_size(referenceFile(name)));
    std::sort(sizes.begin(), sizes.end());
    const rlim_t limit = sizes[sizes.size() / 2];
    ASSERT_LT(limit, sizes.back());

    const std::string out = freshFolder("out-fsize");
    ExportProcess process({"--all", "--out", out}, aliasFile(), out + ".log", [limit] {
        const rlimit fileSize{limit, limit};
        setrlimit(RLIMIT_FSIZE, &fileSize);
    });
    EXPECT_EQ(describeStatus(process.wait()), "exit status 1") << process.errors();
    const std::string errors = process.errors();
    std::size_t tooBig = 0;
    for (const std::string& name : folderEntries(dir_->file("reference"))) {
        const std::string code = name.substr(0, name.size() - 4);
        if (fs::file_size(referenceFile(name)) <= limit) {
            EXPECT_TRUE(fs::exists(out + "/" + name)) << name;
            continue;
        }
        ++tooBig;
        EXPECT_FALSE(fs::exists(out + "/" + name)) << name;
        const std::regex failure("(^|\n)pelmarot-export: " + code + ": Cannot write " + out + "/\\." + code +
                                 "\\.txt\\.pelmarot-[A-Za-z0-9]{12}: File too large\n");
        EXPECT_TRUE(std::regex_search(errors, failure)) << code << '\n' << errors;
    }
    EXPECT_GT(tooBig, 10u);
    expectOnlyCompleteFiles(out);
}

TEST_F(ExportInterruption, RunSweepsTheStaleTemporaryFilesOfItsFolder) {
    // What an export killed earlier left behind, beside files that are not an export's temporary files.
    const std::string out = freshFolder("out-sweep");
    std::random_device random;
    const std::vector<std::string> stale = {files::randomTemporaryName("A1.txt", random),
                                            files::randomTemporaryName("NOSUCH.txt", random),
                                            files::randomTemporaryName(".txt", random)};
    const std::vector<std::string> kept = {".keep.txt", ".A1.txt.Xy12Zw", ".notes.txt.backup", ".report.txt.draft1",
                                           "notes.txt.Xy12Zw"};
    for (const std::string& name : stale)
        std::ofstream(out + "/" + name) << "part of an export";
    for (const std::string& name : kept)
        std::ofstream(out + "/" + name) << "not an export";
    const std::string code = folderEntries(dir_->file("reference")).front();

    ExportProcess process({"--out", out, code.substr(0, code.size() - 4)}, aliasFile(), out + ".log");
    EXPECT_EQ(describeStatus(process.wait()), "exit status 0") << process.errors();

    std::vector<std::string> expected = kept;
    expected.push_back(code);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderEntries(out), expected);
    EXPECT_EQ(readFile(out + "/" + code), readFile(referenceFile(code)));
}

} // namespace

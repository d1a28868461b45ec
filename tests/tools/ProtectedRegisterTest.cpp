// The tools over a Paradox register whose tables are protected by a password: the password from the alias or
// from the terminal, never shown, and a month end byte for byte the same as over the unprotected tables.
#include "engine/ParadoxFixtures.h"
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "Tajna-9";

// A register of a few doctors with persons enough to fill several blocks, written into `folder`.
void writeRegister(const std::string& folder, const TablePasswords& passwords) {
    const std::vector<DoctorRow> doctors = {{"100001", "Petrovski", "Ilija"}, {"A1", "Ќирил", "Ана"}, {"B2", "B", "C"}};
    std::vector<PersonRow> persons;
    for (int i = 0; i < 900; ++i)
        persons.push_back(PersonRow{std::to_string(1000000 + i), i % 2 ? "Петровска" : "Nikolov", "Ilija", "Ана",
                                    i % 3 ? "A1" : (i % 2 ? "100001" : "B2"), std::to_string(i), i % 4 == 1, i % 5 == 2,
                                    "2003-0" + std::to_string(1 + i % 9) + "-15", std::nullopt});
    fs::create_directories(folder);
    writeParadoxRegister(folder, doctors, persons, "CP1251", passwords);
}

// An alias file of the folder, with the lines after it, readable by its owner alone or by everyone.
std::string aliasFile(const TempDir& dir, const std::string& name, const std::string& folder,
                      const std::string& extra = {}, bool private_ = true) {
    const std::string path = dir.file(name);
    std::ofstream(path) << paradoxAlias(folder) << extra;
    fs::permissions(path, private_ ? fs::perms::owner_read | fs::perms::owner_write
                                   : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                         fs::perms::others_read);
    return path;
}

// A tool run in a session of its own, so that it has no terminal whatever the test runs in.
ToolOutput runWithoutTerminal(const TempDir& dir, const std::string& aliases, const char* tool,
                              const std::string& arguments) {
    return runTool(dir.path(), "PELMAROT_ALIASES=" + aliases + " setsid -w " + toolPath(tool) + " " + arguments);
}

} // namespace

TEST(ProtectedRegister, AMonthEndReadsTheAliasPasswordAndWritesWhatTheUnprotectedTablesGive) {
    TempDir dir;
    writeRegister(dir.file("plain"), {});
    writeRegister(dir.file("secret"), {kPassword, kPassword});
    const std::string plain = aliasFile(dir, "plain.ini", dir.file("plain"));
    const std::string given =
        aliasFile(dir, "given.ini", dir.file("secret"), "password = " + std::string(kPassword) + "\n");
    for (const char* folder : {"out-plain", "out-secret", "out-refused"})
        fs::create_directory(dir.file(folder));

    ToolOutput run = runWithoutTerminal(dir, plain, "PELMAROT_EXPORT_EXE", "--all --out " + dir.file("out-plain"));
    ASSERT_EQ(run.status, 0) << run.err;
    run = runWithoutTerminal(dir, given, "PELMAROT_EXPORT_EXE", "--all --out " + dir.file("out-secret"));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto expected = filesIn(dir.file("out-plain"));
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(filesIn(dir.file("out-secret")), expected);
    EXPECT_EQ(run.out.find(kPassword), std::string::npos);
    EXPECT_EQ(run.err.find(kPassword), std::string::npos);

    // Refused, each with nothing written: a password in a file others may read, a wrong one, none at all.
    const std::string open =
        aliasFile(dir, "open.ini", dir.file("secret"), "password = " + std::string(kPassword) + "\n", false);
    const std::string wrong = aliasFile(dir, "wrong.ini", dir.file("secret"), "password = tajna-9\n");
    const std::string none = aliasFile(dir, "none.ini", dir.file("secret"));
    const std::string table = dir.file("secret/Lekari.DB");
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {open, "but other users may read it, so the password is not used: make the file readable by its owner alone "
               "(chmod 600 " +
                   open + "), or remove its 'password' entry"},
        {wrong, table + ": the password the alias gives is not the table's password"},
        {none, table + " needs a password, and there is no terminal to ask for it on: give it in the alias's "
                       "'password' entry (in an alias file that only its owner can read), or run pelmarot-export on a "
                       "terminal, where it asks for it"}};
    for (const auto& [aliases, message] : refusals) {
        run = runWithoutTerminal(dir, aliases, "PELMAROT_EXPORT_EXE", "--all --out " + dir.file("out-refused"));
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(kPassword), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_empty(dir.file("out-refused")));
    }

    // pelmarot-check reads the same way, and a copy into SQLite says that it carries no password.
    run = runWithoutTerminal(dir, given, "PELMAROT_CHECK_EXE", "kapitacija");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\npersons: 900\n"), std::string::npos) << run.out;
    run = runWithoutTerminal(dir, given, "PELMAROT_COPY_EXE", "kapitacija " + dir.file("copy.sqlite"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("are protected by a password; the copy carries no password and is protected only by the "
                           "permissions of its file."),
              std::string::npos)
        << run.out;
}

// On a terminal the tools ask for the password without echo; a wrong one fails naming the table, and Ctrl+C
// ends the run with the terminal's echo back on.
TEST(ProtectedRegister, AToolOnATerminalAsksWithoutEchoAndFailsOnAWrongPassword) {
    TempDir dir;
    writeRegister(dir.file("secret"), {kPassword, kPassword});
    const std::string aliases = aliasFile(dir, "aliases.ini", dir.file("secret"));
    const auto onTerminal = [&](const std::string& answer, const std::string& outFolder) {
        fs::create_directory(dir.file(outFolder));
        const std::string transcript = dir.file(outFolder + ".log");
        // script gives the tool a terminal; the answer is typed once the question stands on it. The terminal's
        // settings are shown after the tool, under a line of their own.
        const std::string command = "(for i in $(seq 200); do grep -q 'Password for' " + transcript +
                                    " 2>/dev/null && break; sleep 0.1; done; "
                                    "printf '" +
                                    answer + "') | PELMAROT_ALIASES=" + aliases + " timeout 60 script -qfec '" +
                                    toolPath("PELMAROT_EXPORT_EXE") + " --all --out " + dir.file(outFolder) +
                                    "; s=$?; echo; echo settings:; stty -a; exit $s' /dev/null >" + transcript;
        const int status = std::system(command.c_str());
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(transcript));
    };
    const auto echoes = [](const std::string& transcript) {
        const std::size_t settings = transcript.find("settings:");
        return settings != std::string::npos &&
               std::regex_search(transcript.substr(settings), std::regex("(^|\\s)echo(\\s|;|$)"));
    };
    const auto [status, transcript] = onTerminal(kPassword + std::string("\\n"), "right");
    EXPECT_EQ(status, 0) << transcript;
    EXPECT_NE(transcript.find("Password for " + dir.file("secret/Lekari.DB") + ": "), std::string::npos) << transcript;
    EXPECT_EQ(transcript.find(kPassword), std::string::npos) << transcript;
    EXPECT_EQ(filesIn(dir.file("right")).size(), 3u);

    const auto [wrongStatus, wrongTranscript] = onTerminal("tajna\\n", "wrong");
    EXPECT_NE(wrongStatus, 0);
    EXPECT_NE(wrongTranscript.find(dir.file("secret/Lekari.DB") + ": the password given is not the table's password"),
              std::string::npos)
        << wrongTranscript;
    EXPECT_TRUE(fs::is_empty(dir.file("wrong")));

    const auto [interruptedStatus, interruptedTranscript] = onTerminal("\\003", "interrupted");
    EXPECT_EQ(interruptedStatus, 128 + SIGINT) << interruptedTranscript;
    EXPECT_TRUE(echoes(interruptedTranscript)) << interruptedTranscript;
    EXPECT_TRUE(fs::is_empty(dir.file("interrupted")));
}

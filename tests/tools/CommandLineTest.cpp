// The command-line conventions every tool follows, run against the built executables.
#include "support/ChildProcess.h"
#include "support/FixtureRegister.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

using namespace testsupport;

namespace {

ToolOutput run(const TempDir& dir, const std::string& tool, const std::string& arguments,
               const std::string& redirect = "") {
    return runTool(dir.path(), tool + " " + arguments, redirect);
}

struct Tool {
    const char* name;
    std::string path;
    bool commandHelp = true; // --help and --version as the commands answer them; the demo generator has its own
};

std::vector<Tool> tools() {
    return {{"pelmarot-export", toolPath("PELMAROT_EXPORT_EXE")},
            {"pelmarot-copy", toolPath("PELMAROT_COPY_EXE")},
            {"pelmarot-check", toolPath("PELMAROT_CHECK_EXE")},
            {"pelmarot-demo-db", toolPath("PELMAROT_DEMO_DB_EXE"), false}};
}

} // namespace

TEST(CommandLine, EveryToolAnswersHelpVersionAndBadUsageTheSameWay) {
    TempDir dir;
    for (const Tool& tool : tools()) {
        ASSERT_FALSE(tool.path.empty()) << tool.name << ": ctest names the built tools";
        const std::string name = tool.name;
        const std::string hint = "Try '" + name + " --help' for more information.";

        for (const char* bad : {"--bogus", "", "-Z"}) {
            const ToolOutput usage = run(dir, tool.path, bad);
            EXPECT_EQ(usage.status, 2) << name << " " << bad;
            const auto lines = linesOf(usage.err);
            ASSERT_EQ(lines.size(), 2u) << name << " " << bad << ": one line and the hint, not the help\n" << usage.err;
            EXPECT_EQ(lines[0].rfind(name + ": ", 0), 0u) << lines[0];
            EXPECT_EQ(lines[1], hint);
            EXPECT_EQ(usage.out, "");
        }
        if (!tool.commandHelp)
            continue;

        const ToolOutput version = run(dir, tool.path, "--version");
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_TRUE(std::regex_match(version.out, std::regex(name + " [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
        EXPECT_EQ(run(dir, tool.path, "-V").out, version.out);

        const ToolOutput help = run(dir, tool.path, "--help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(help.out.rfind("Usage: " + name + " ", 0), 0u) << help.out;
        for (const std::string& line : linesOf(help.out))
            EXPECT_LE(line.size(), 80u) << name << ": " << line;
        EXPECT_EQ(run(dir, tool.path, "-h").out, help.out);

        const ToolOutput full = run(dir, tool.path, "--help", ">/dev/full");
        EXPECT_EQ(full.status, 1) << name << ": a help text that could not be written is a failure";
        EXPECT_NE(full.err.find("cannot write to standard output"), std::string::npos) << full.err;
    }
}

TEST(CommandLine, EveryToolReadsTheFormsOfAnOptionAlike) {
    TempDir dir;
    AliasFileScope scope(dir.file("a.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
    const std::string aliases = "PELMAROT_ALIASES=" + dir.file("a.ini") + " ";
    struct Case {
        const char* variable;
        std::string arguments;
        int status;
        std::string firstError;
    };
    const Case cases[] = {
        // Flags in one word, a value joined to its letter, "--" before an operand that begins with "-".
        {"PELMAROT_CHECK_EXE", "-qm5 -- -q", 3, "pelmarot-check: Alias '-q' is not defined"},
        {"PELMAROT_CHECK_EXE", "-", 3, "pelmarot-check: Alias '-' is not defined"},
        // A long name shortened, its value after "=".
        {"PELMAROT_CHECK_EXE", "--ma=x kapitacija", 2,
         "pelmarot-check: --max needs a number of lines (0 or more), not 'x'"},
        {"PELMAROT_CHECK_EXE", "kapitacija -m", 2, "pelmarot-check: -m needs a number of lines"},
        {"PELMAROT_COPY_EXE", "--quiet=yes a b", 2, "pelmarot-copy: --quiet takes no value"},
        {"PELMAROT_EXPORT_EXE", "--a", 2,
         "pelmarot-export: option --a is ambiguous: --all, --alias, --accept-transliterated"},
        {"PELMAROT_EXPORT_EXE", "-qao", 2, "pelmarot-export: -o needs a folder"},
        {"PELMAROT_DEMO_DB_EXE", "out.sqlite --doctors", 2, "pelmarot-demo-db: --doctors needs a whole number"},
    };
    for (const Case& row : cases) {
        const std::string tool = toolPath(row.variable);
        ASSERT_FALSE(tool.empty()) << row.variable;
        const ToolOutput output = run(dir, aliases + tool, row.arguments);
        EXPECT_EQ(output.status, row.status) << row.arguments << "\n" << output.err;
        EXPECT_EQ(output.err.rfind(row.firstError, 0), 0u) << row.arguments << "\n" << output.err;
    }
}

TEST(CommandLine, ExportChecksItsFolderOnceCountsEachDoctorOnceAndIsQuietOnSuccess) {
    TempDir dir;
    const std::string exporter = toolPath("PELMAROT_EXPORT_EXE");
    ASSERT_FALSE(exporter.empty());
    PersonRow person{"1", "Petrov", "Ilija", "Ana", "A1", "1", false, false, std::string("2001-02-03"), {}};
    PersonRow other = person;
    other.mb = "2";
    writeSqliteRegister(dir.file("k.sqlite"), {{"A1", "Petrov", "Ilija"}, {"B2", "Nikolov", "Ivan"}}, {person, other});
    const std::string aliases = "PELMAROT_ALIASES=" + dir.file("a.ini") + " ";
    AliasFileScope scope(dir.file("a.ini"), AliasFileScope::sqliteAlias(dir.file("k.sqlite")));
    std::filesystem::create_directories(dir.file("out"));

    // A month's folder that does not exist yet is made, never the folders it would be in: that is said once,
    // before any doctor is read, with --opt=value as well as --opt value.
    for (const std::string& option :
         {std::string("--out=") + dir.file("missing/month"), "-o " + dir.file("missing/m")}) {
        const ToolOutput missing = run(dir, aliases + exporter, option + " --all");
        EXPECT_EQ(missing.status, 1);
        EXPECT_EQ(linesOf(missing.err).size(), 1u) << missing.err;
        EXPECT_NE(missing.err.find("the folder it would be in does not exist"), std::string::npos) << missing.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    }
    const ToolOutput made = run(dir, aliases + exporter, "--out " + dir.file("month") + " A1");
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(folderEntries(dir.file("month")), std::vector<std::string>{"A1.txt"});

    // A code given twice is one file; an unknown code fails and its rows count for nothing. The failure goes to
    // standard error, the summary, the run's result, to standard output.
    const ToolOutput twice = run(dir, aliases + exporter, "--out " + dir.file("out") + " A1 A1 NONE");
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(linesOf(twice.out).size(), 1u) << twice.out;
    EXPECT_EQ(twice.out.rfind("1 of 2 files written (2 rows) into " + dir.file("out") + " in ", 0), 0u) << twice.out;
    EXPECT_NE(twice.err.find("pelmarot-export: NONE: unknown or inactive doctor code"), std::string::npos) << twice.err;
    EXPECT_EQ(twice.err.find("files written"), std::string::npos) << twice.err;

    // Quiet: nothing at all on success; a failure is still named.
    const ToolOutput quiet = run(dir, aliases + exporter, "-q --out " + dir.file("out") + " -- A1");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err + quiet.out, "");
    const ToolOutput quietFailure = run(dir, aliases + exporter, "--quiet --out " + dir.file("out") + " NONE");
    EXPECT_EQ(quietFailure.status, 1);
    EXPECT_NE(quietFailure.err.find("pelmarot-export: NONE: "), std::string::npos) << quietFailure.err;
}

// The Paradox benchmark once took "--help" for a count of rows, made an empty register and failed on it.
TEST(CommandLine, TheParadoxBenchmarkAnswersHelpAndRefusesACountThatIsNoNumber) {
    const std::string bench = toolPath("PELMAROT_PARADOX_BENCH_EXE");
    if (bench.empty())
        GTEST_SKIP() << "the benchmarks are not built in this build";
    TempDir dir;
    const ToolOutput help = run(dir, bench, "--help");
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("Usage: pelmarot_paradox_bench", 0), 0u) << help.out;
    for (const char* bad : {"lots", "-5", "0"}) {
        const ToolOutput refused = run(dir, bench, bad);
        EXPECT_EQ(refused.status, 2) << bad << ": " << refused.err;
        EXPECT_NE(refused.err.find("Try 'pelmarot_paradox_bench --help'"), std::string::npos) << refused.err;
    }
}

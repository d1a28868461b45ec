// The speed and memory figures of the program, printed as one table headed by the machine they were taken on:
//   start-up to the window shown with 10,000 active doctors;
//   reloads of doctors with about 2,000 persons in a 2,000,000-person register: the first in a fresh process
//   (several processes), then 100 different doctors in one window, against a bare loop over the sqlite3 API
//   running the list's query on the same doctors;
//   a doctor with 200,000 persons: memory per row and the time to paint the grid while scrolling;
//   the export of a doctor with 100,000 persons, from the dialog's acceptance to the message;
//   the month-end export of every active doctor by pelmarot-export from SQLite and from the same register
//   written as Paradox tables, in turns with the sqlite3 shell writing the same bytes with one query
//   (bench/month_end.sql) and with a bare scan, a plain loop over the sqlite3 API reading every row the month
//   end reads and writing nothing but its counts, three runs of each (minimum and median), every output
//   compared byte for byte, the heap and the file pages sampled apart; the SQLite one again in a process
//   allowed 64 open files;
//   a throwaway PostgreSQL server: the copy of the register into it, reloads and the month-end export;
//   pelmarot-check reading and checking the whole 2,000,000-person register.
// Registers are made once by the demo generator and kept under the build tree.
//
// Usage: pelmarot_bench [--large]
//   --large  also the month-end export of a 10,000,000-person register with the same 1,000 doctors (made
//            once, which takes minutes), in turns with the others, against the 2,000,000-person one
// Every measure runs in a process of its own, so that its peak memory is its own; one can be run alone:
//   pelmarot_bench --measure first-reload|reloads|bare-reloads|big|export|check|bare-scan [DOCTOR...]
// Doctors are taken by the three reload measures only (a sample when none are given); bare-scan reports the
// rows it read and the bytes of their text.
#include "BareReload.h"
#include "ChildRun.h"
#include "ExportOutputs.h"
#include "Machine.h"
#include "MonthEnd.h"
#include "ParadoxRegister.h"
#include "Registers.h"
#include "Statistics.h"
#include "Table.h"
#include "WindowMeasures.h"

#include <QByteArray>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace bench;

constexpr int kStartups = 7;
constexpr int kFreshProcesses = 7;
constexpr int kSampleDoctors = 100;
constexpr int kDoctorSize = 2000;
constexpr int kMonthEndRounds = 3;

const std::vector<std::string> kWindowEnv = {"QT_QPA_PLATFORM=offscreen", "LC_ALL=C"};

// The bare loop over the doctors given, in a process of its own like the window's reloads.
int measureBareReloads(const fs::path& data, const std::vector<std::string>& doctors) {
    const BareReloads bare = bareReloads(bigRegister(data), doctors);
    reportValue("doctors", static_cast<double>(doctors.size()));
    reportValue("rows_mean", static_cast<double>(bare.rows) / static_cast<double>(doctors.size()));
    reportValue("text_bytes", static_cast<double>(bare.textBytes));
    reportValue("median", median(bare.milliseconds));
    reportValue("p95", percentile(bare.milliseconds, 0.95));
    return 0;
}

// pelmarot-check over the 2,000,000-person register: its time and peak memory, and the persons its summary counts.
// It ends with 1, not 0: the demo register's inactive doctors still have persons, which it names.
int measureCheck(const fs::path& data) {
    const fs::path big = bigRegister(data);
    const fs::path summary = data / "check-summary.txt";
    const ChildRun run = runChild(ChildCommand({PELMAROT_CHECK, "--quiet", "kapitacija"},
                                               {"PELMAROT_ALIASES=" + sqliteAlias(big).string(), "LC_ALL=C"})
                                      .writingTo(summary.string())
                                      .accepting({0, 1}));
    std::ifstream lines(summary);
    std::string line;
    double persons = 0;
    while (std::getline(lines, line))
        if (line.rfind("persons: ", 0) == 0)
            persons = std::stod(line.substr(9));
    reportValue("seconds", run.ms / 1000);
    reportValue("peak_mib", run.peakMiB);
    reportValue("persons", persons);
    return 0;
}

// "pelmarot_bench --measure NAME [DOCTOR...]"; the reloads take the sample of doctors when none are given.
int runMeasure(const std::string& measure, std::vector<std::string> doctors, const fs::path& data, char** argv) {
    if (doctors.empty() && (measure == "first-reload" || measure == "reloads" || measure == "bare-reloads"))
        doctors = doctorsNear(bigRegister(data), kDoctorSize, kSampleDoctors);
    if (measure == "check")
        return measureCheck(data);
    if (measure == "bare-reloads")
        return measureBareReloads(data, doctors);
    if (measure == "bare-scan") {
        long long bytes = 0;
        const long long rows = bareScan(bigRegister(data), bytes);
        reportValue("rows", static_cast<double>(rows));
        reportValue("text_bytes", static_cast<double>(bytes));
        return 0;
    }
    return measureInWindow(measure, doctors, data, 1, argv);
}

std::vector<std::string> measureCommand(const std::string& measure, const std::vector<std::string>& doctors = {}) {
    std::vector<std::string> args = {fs::canonical("/proc/self/exe").string(), "--measure", measure};
    args.insert(args.end(), doctors.begin(), doctors.end());
    return args;
}

struct StartupFigures {
    std::vector<double> ms;
    double peakMiB = 0;
};

StartupFigures measureStartup(const fs::path& manyDoctors) {
    StartupFigures figures;
    for (int i = 0; i < kStartups; ++i) {
        const ChildRun run =
            runChild(ChildCommand({PELMAROT_STARTUP_PROBE}, {"PELMAROT_ALIASES=" + sqliteAlias(manyDoctors).string(),
                                                             "QT_QPA_PLATFORM=offscreen"}));
        figures.ms.push_back(run.ms);
        figures.peakMiB = std::max(figures.peakMiB, run.peakMiB);
    }
    return figures;
}

struct ReloadFigures {
    std::vector<double> firstMs; // one per fresh process
    double firstRows = 0;
    double firstPeakMiB = 0;
    ChildRun window; // the sample of doctors, each once
    ChildRun bare;   // the same doctors through the bare loop
};

ReloadFigures measureSqliteReloads(const std::vector<std::string>& doctors) {
    ReloadFigures figures;
    for (int i = 0; i < kFreshProcesses; ++i) {
        const ChildRun run =
            runChild(ChildCommand(measureCommand("first-reload", {doctors[static_cast<std::size_t>(i)]}), kWindowEnv));
        figures.firstMs.push_back(run.value("ms"));
        figures.firstRows += run.value("rows") / kFreshProcesses;
        figures.firstPeakMiB = std::max(figures.firstPeakMiB, run.peakMiB);
    }
    figures.window = runChild(ChildCommand(measureCommand("reloads", doctors), kWindowEnv));
    figures.bare = runChild(ChildCommand(measureCommand("bare-reloads", doctors), kWindowEnv));
    return figures;
}

MonthEndWay exportWay(const std::string& name, const fs::path& aliasFile, const fs::path& folder) {
    return {name,
            ChildCommand({PELMAROT_EXPORT, "--quiet", "--all", "--out", folder.string()},
                         {"PELMAROT_ALIASES=" + aliasFile.string(), "LC_ALL=C"}),
            folder, true};
}

// The same export in a process allowed 64 open files (soft and hard), as a desk set up tightly may be.
MonthEndWay fewFilesWay(const fs::path& aliasFile, const fs::path& folder) {
    const std::string command =
        std::string("ulimit -n 64 && exec ") + PELMAROT_EXPORT + " --quiet --all --out '" + folder.string() + "'";
    return {"pelmarot-export, SQLite, 64 open files",
            ChildCommand({"/bin/sh", "-c", command}, {"PELMAROT_ALIASES=" + aliasFile.string(), "LC_ALL=C"}), folder,
            true};
}

MonthEndWay shellWay(const fs::path& database, const fs::path& file) {
    return {"sqlite3 shell",
            ChildCommand({"sqlite3", database.string()}).readingFrom(PELMAROT_MONTH_END_SQL).writingTo(file.string()),
            file, false};
}

// The bare scan of the register, the floor under the month end; its "output" is its counts, the same each run.
MonthEndWay bareScanWay(const fs::path& file) {
    return {"bare sqlite3 scan", ChildCommand(measureCommand("bare-scan")).writingTo(file.string()), file, false};
}

struct PostgresFigures {
    ChildRun copy;
    ChildRun reloads;
    MonthEndRuns monthEnd;
    MonthEndRuns sqliteBeside; // the SQLite month end, in turns with the PostgreSQL one
    MonthEndRuns copyFloor;    // the server's own COPY of the rows into a file, psql as the client
};

// The server's floor under the month end: the rows the month end reads, sent by COPY to psql, which writes them
// to a file and does nothing else with them.
MonthEndWay copyFloorWay(const fs::path& server, const fs::path& file) {
    return {"COPY to psql",
            ChildCommand({"psql", "-X", "-q", "-h", server.string(), "-p", "54329", "-U", "postgres", "-d", "register",
                          "-c", "COPY (SELECT * FROM osigurenici WHERE br_odj IS NULL) TO STDOUT"})
                .writingTo(file.string()),
            file, false};
}

// A throwaway server, the register copied into it, reloads over its socket and the month-end export.
PostgresFigures measurePostgres(const fs::path& data, const fs::path& big, const std::vector<std::string>& doctors,
                                const fs::path& monthEnd) {
    const fs::path server = data / "pg";
    runChild(ChildCommand({"bash", PELMAROT_PG_SCRIPT, "start", server.string()}));
    runChild(ChildCommand({"bash", PELMAROT_PG_SCRIPT, "createdb", server.string()}));
    const fs::path aliases = data / "postgresql.ini";
    std::ofstream(aliases) << "[big]\ndriver = sqlite\npath = " << big.string()
                           << "\n[kapitacija]\ndriver = postgresql\nhost = " << server.string()
                           << "\nport = 54329\ndbname = register\nuser = postgres\n";
    PostgresFigures figures;
    figures.copy =
        runChild(ChildCommand({PELMAROT_COPY, "big", "kapitacija"}, {"PELMAROT_ALIASES=" + aliases.string()}));
    std::vector<std::string> env = kWindowEnv;
    env.push_back("PELMAROT_BENCH_ALIASES=" + aliases.string());
    figures.reloads = runChild(ChildCommand(measureCommand("reloads", doctors), env));
    const std::vector<MonthEndRuns> runs =
        runInTurns({exportWay("pelmarot-export, PostgreSQL", aliases, monthEnd / "postgresql"),
                    exportWay("pelmarot-export, SQLite", sqliteAlias(big), monthEnd / "sqlite-beside-postgresql"),
                    copyFloorWay(server, monthEnd / "postgresql-copy.txt")},
                   kMonthEndRounds);
    figures.monthEnd = runs[0];
    figures.sqliteBeside = runs[1];
    figures.copyFloor = runs[2];
    fs::remove_all(runs[1].firstOutput);
    fs::remove_all(runs[2].firstOutput);
    runChild(ChildCommand({"bash", PELMAROT_PG_SCRIPT, "stop", server.string()}));
    return figures;
}

struct MonthEndFigures {
    MonthEndRuns sqlite, shell, paradox, bareScan, fewFiles;
    long long rows = 0;
    std::optional<MonthEndRuns> large; // the 10,000,000-person register, when asked for
    long long largeRows = 0;
};

// pelmarot-export from SQLite and from Paradox in turns with the sqlite3 shell, and with the export of the
// 10,000,000-person register when one is given (whose outputs are removed afterwards).
MonthEndFigures measureMonthEnd(const fs::path& data, const fs::path& big, const fs::path& paradox,
                                const std::optional<fs::path>& large, const fs::path& monthEnd) {
    const fs::path paradoxAlias = writeAlias(data / "paradox-register-2m.ini", "paradox", paradox);
    std::vector<MonthEndWay> ways = {exportWay("pelmarot-export, SQLite", sqliteAlias(big), monthEnd / "sqlite"),
                                     shellWay(big, monthEnd / "sqlite3-shell.txt"),
                                     exportWay("pelmarot-export, Paradox", paradoxAlias, monthEnd / "paradox"),
                                     bareScanWay(monthEnd / "bare-scan.txt"),
                                     fewFilesWay(sqliteAlias(big), monthEnd / "sqlite-64-files")};
    if (large)
        ways.push_back(exportWay("pelmarot-export, 10,000,000 persons", sqliteAlias(*large), monthEnd / "sqlite-10m"));
    const std::vector<MonthEndRuns> runs = runInTurns(ways, kMonthEndRounds);
    MonthEndFigures figures{runs[0], runs[1], runs[2], runs[3], runs[4], monthEndRows(big), std::nullopt, 0};
    if (large) {
        figures.large = runs[5];
        figures.largeRows = monthEndRows(*large);
        fs::remove_all(runs[5].firstOutput);
    }
    return figures;
}

struct Figures {
    StartupFigures startup;
    ReloadFigures reloads;
    ChildRun bigList, exportRun, check;
    PostgresFigures postgres;
    MonthEndFigures monthEnd;
    bool postgresSameBytes = false;
    bool shellSameBytes = false;
    bool paradoxSameBytes = false;
    bool fewFilesSameBytes = false;
};

// "same bytes", or what differed: the runs of one way, or the way against the reference.
std::string samenessText(bool same, const MonthEndRuns& runs) {
    if (!runs.sameEveryRun)
        return "RUNS DIFFER";
    return same ? "same bytes" : "OUTPUT DIFFERS";
}

std::string secondsText(const MonthEndRuns& runs) {
    return fmt("%.2f s / %.2f s", runs.minSeconds(), runs.medianSeconds()) +
           fmt(", cpu %.2f s", runs.medianCpuSeconds());
}

void printMemoryRow(const MonthEndRuns& runs) {
    printRow("  its heap / file pages (largest sampled)",
             fmt("%.0f MiB / %.0f MiB", runs.heapMiB(), runs.filePagesMiB()), "", "");
}

void printReloadRows(const ReloadFigures& reloads, const PostgresFigures& postgres) {
    const double windowMedian = reloads.window.value("median");
    const double listMedian = reloads.window.value("list_median");
    const double bareMedian = reloads.bare.value("median");
    printRow(
        fmt("first reload SQLite, fresh process, ~%.0f persons (median of %.0f)", reloads.firstRows, kFreshProcesses),
        fmt("%.2f ms (max %.2f ms)", median(reloads.firstMs), maximum(reloads.firstMs)), mib(reloads.firstPeakMiB),
        "-");
    printRow(fmt("reloads SQLite, %.0f doctors of ~%.0f of 2,000,000 persons (median, p95)",
                 reloads.window.value("doctors"), reloads.window.value("rows_mean")),
             fmt("%.2f ms / %.2f ms", listMedian, reloads.window.value("list_p95")), mib(reloads.window.peakMiB),
             target("median <= 5 ms", listMedian <= 5));
    printRow("  the same with the grid painted (median, p95)",
             fmt("%.2f ms / %.2f ms", windowMedian, reloads.window.value("p95")), "", "-");
    printRow("bare sqlite3 loop, the same query and doctors (median, p95)",
             fmt("%.2f ms / %.2f ms", bareMedian, reloads.bare.value("p95")), mib(reloads.bare.peakMiB), "-");
    printRow("ratio reload / bare loop, medians (list; painted)",
             fmt("%.2f; %.2f", listMedian / bareMedian, windowMedian / bareMedian), "",
             target("<= 1.5", listMedian <= 1.5 * bareMedian));
    const double postgresMedian = postgres.reloads.value("median");
    printRow(
        fmt("reloads PostgreSQL, the same %.0f doctors, unix socket (median, p95)", postgres.reloads.value("doctors")),
        fmt("%.2f ms / %.2f ms", postgresMedian, postgres.reloads.value("p95")), mib(postgres.reloads.peakMiB),
        target("median <= 30 ms", postgresMedian <= 30));
    printRow("reload Paradox", "see pelmarot_paradox_bench", "", "later <= 5 ms");
    printRow("copy of the 2,000,000-person register into PostgreSQL", fmt("%.1f s", postgres.copy.ms / 1000),
             mib(postgres.copy.peakMiB), target("<= 60 s", postgres.copy.ms <= 60000));
}

void printListRows(const ChildRun& bigList, const ChildRun& exportRun) {
    printRow(fmt("reload of %.0f persons", bigList.value("rows")), fmt("%.0f ms", bigList.value("reload")),
             mib(bigList.peakMiB), "-");
    const double perRow = bigList.value("bytes_per_row");
    printRow("memory per row above the baseline, 200,000 persons", fmt("%.0f bytes", perRow), "",
             target("< 300 bytes", perRow < 300));
    const double frameMax = bigList.value("frame_max");
    printRow("grid paint while scrolling 200,000 rows (median, max)",
             fmt("%.2f ms / %.2f ms", bigList.value("frame_median"), frameMax), "", target("< 16 ms", frameMax < 16));
    const double exportMs = exportRun.value("median");
    printRow(fmt("export of %.0f persons, dialog accepted to message", exportRun.value("rows")),
             fmt("%.0f ms", exportMs) + (exportRun.value("ok") == 1 ? "" : " FAILED"), mib(exportRun.peakMiB),
             target("<= 200 ms", exportMs <= 200));
}

void printMonthEndRows(const Figures& figures) {
    const MonthEndFigures& monthEnd = figures.monthEnd;
    const std::string runs = fmt(" (min/median of %.0f)", kMonthEndRounds);
    printRow(fmt("month-end SQLite, pelmarot-export --all, %.0f rows", static_cast<double>(monthEnd.rows)) + runs,
             secondsText(monthEnd.sqlite), mib(monthEnd.sqlite.peakMiB()),
             target("median <= 1.5 s", monthEnd.sqlite.medianSeconds() <= 1.5));
    printMemoryRow(monthEnd.sqlite);
    printRow("bare sqlite3 scan of the rows it reads, no output" + runs, secondsText(monthEnd.bareScan),
             mib(monthEnd.bareScan.peakMiB()), "-");
    printRow("ratio pelmarot-export / bare scan, medians",
             fmt("%.2f", monthEnd.sqlite.medianSeconds() / monthEnd.bareScan.medianSeconds()), "", "-");
    printRow("month-end, sqlite3 shell, one query" + runs, secondsText(monthEnd.shell), mib(monthEnd.shell.peakMiB()),
             "-");
    printMemoryRow(monthEnd.shell);
    const double shellRatio = monthEnd.sqlite.medianSeconds() / monthEnd.shell.medianSeconds();
    printRow("ratio pelmarot-export / sqlite3 shell, medians",
             fmt("%.2f", shellRatio) + " (" + samenessText(figures.shellSameBytes, monthEnd.shell) + ")", "",
             target("<= 0.15", shellRatio <= 0.15));
    printRow("month-end Paradox, pelmarot-export --all" + runs, secondsText(monthEnd.paradox),
             mib(monthEnd.paradox.peakMiB()), "-");
    printMemoryRow(monthEnd.paradox);
    const double paradoxRatio = monthEnd.paradox.medianSeconds() / monthEnd.sqlite.medianSeconds();
    printRow("ratio Paradox / SQLite, medians",
             fmt("%.2f", paradoxRatio) + " (" + samenessText(figures.paradoxSameBytes, monthEnd.paradox) + ")", "",
             target("<= 1.2", paradoxRatio <= 1.2));
    printRow("month-end SQLite in a process allowed 64 open files" + runs, secondsText(monthEnd.fewFiles),
             mib(monthEnd.fewFiles.peakMiB()), "-");
    const double fewFilesRatio = monthEnd.fewFiles.medianSeconds() / monthEnd.sqlite.medianSeconds();
    printRow("ratio 64 open files / unlimited, medians",
             fmt("%.2f", fewFilesRatio) + " (" + samenessText(figures.fewFilesSameBytes, monthEnd.fewFiles) + ")", "",
             target("<= 3", fewFilesRatio <= 3));
    const MonthEndRuns& postgres = figures.postgres.monthEnd;
    printRow("month-end PostgreSQL, pelmarot-export --all" + runs, secondsText(postgres), mib(postgres.peakMiB()), "-");
    printMemoryRow(postgres);
    printRow("  its output against the SQLite one", samenessText(figures.postgresSameBytes, postgres), "", "");
    const MonthEndRuns& beside = figures.postgres.sqliteBeside;
    const double besideRatio = postgres.medianSeconds() / beside.medianSeconds();
    printRow("ratio PostgreSQL / SQLite, in turns in one run, medians",
             fmt("%.2f (SQLite %.2f s)", besideRatio, beside.medianSeconds()), "",
             target("<= 1.5", besideRatio <= 1.5));
    const MonthEndRuns& floor = figures.postgres.copyFloor;
    printRow("the same rows by COPY to psql into a file, the server's floor" + runs, secondsText(floor),
             mib(floor.peakMiB()), "-");
    printRow("ratio pelmarot-export PostgreSQL / COPY floor, medians",
             fmt("%.2f", postgres.medianSeconds() / floor.medianSeconds()), "", "-");
}

void printLargeRows(const MonthEndFigures& monthEnd) {
    const MonthEndRuns& large = *monthEnd.large;
    printRow(fmt("month-end SQLite, 10,000,000 persons, %.0f rows", static_cast<double>(monthEnd.largeRows)) +
                 fmt(" (min/median of %.0f)", kMonthEndRounds),
             secondsText(large) + (large.sameEveryRun ? "" : " (RUNS DIFFER)"), mib(large.peakMiB()), "-");
    printMemoryRow(large);
    const double ratio = large.medianSeconds() / monthEnd.sqlite.medianSeconds();
    printRow("ratio 10,000,000 / 2,000,000 persons, medians", fmt("%.2f", ratio), "", target("<= 5.5", ratio <= 5.5));
    printRow("heap 10,000,000 / 2,000,000 persons",
             fmt("%.0f MiB / %.0f MiB", large.heapMiB(), monthEnd.sqlite.heapMiB()), "", "does not grow");
}

void printTable(const Figures& figures, const std::string& loadAtStart) {
    std::printf("Machine: %s, %u processors; load average %s at the start, %s at the end\n\n", processorModel().c_str(),
                processorCount(), loadAtStart.c_str(), loadAverage().c_str());
    printTableHeading();
    printRow("start-up to window shown, 10,000 active doctors",
             fmt("%.0f ms (p95 %.0f ms)", median(figures.startup.ms), percentile(figures.startup.ms, 0.95)),
             mib(figures.startup.peakMiB), target("<= 500 ms", median(figures.startup.ms) <= 500));
    printReloadRows(figures.reloads, figures.postgres);
    printListRows(figures.bigList, figures.exportRun);
    printMonthEndRows(figures);
    if (figures.monthEnd.large)
        printLargeRows(figures.monthEnd);
    printRow(fmt("pelmarot-check, the whole register (%.0f persons)", figures.check.value("persons")),
             fmt("%.2f s", figures.check.value("seconds")), mib(figures.check.value("peak_mib")), "a few seconds");
}

bool allOutputsRight(const Figures& figures) {
    const bool runsAgree = figures.monthEnd.sqlite.sameEveryRun && figures.monthEnd.shell.sameEveryRun &&
                           figures.monthEnd.paradox.sameEveryRun && figures.postgres.monthEnd.sameEveryRun &&
                           figures.monthEnd.fewFiles.sameEveryRun &&
                           (!figures.monthEnd.large || figures.monthEnd.large->sameEveryRun);
    return runsAgree && figures.shellSameBytes && figures.paradoxSameBytes && figures.postgresSameBytes &&
           figures.fewFilesSameBytes && figures.exportRun.value("ok") == 1;
}

int runBench(const fs::path& data, bool large) {
    const std::string loadAtStart = loadAverage();
    std::fprintf(stderr, "Preparing registers under %s (made once)...\n", data.c_str());
    const fs::path big = bigRegister(data);
    const fs::path many = manyDoctorsRegister(data);
    const fs::path paradox = paradoxCopy(big, data / "paradox-register-2m");
    const std::optional<fs::path> tenMillion = large ? std::optional(largeRegister(data)) : std::nullopt;
    const std::vector<std::string> doctors = doctorsNear(big, kDoctorSize, kSampleDoctors);
    const fs::path monthEnd = data / "month-end";
    fs::remove_all(monthEnd);
    fs::create_directories(monthEnd);

    Figures figures;
    std::fprintf(stderr, "Start-up...\n");
    figures.startup = measureStartup(many);
    std::fprintf(stderr, "Reloads: first ones in fresh processes, %d doctors, the bare loop...\n", kSampleDoctors);
    figures.reloads = measureSqliteReloads(doctors);
    std::fprintf(stderr, "The 200,000-person doctor, the 100,000-person export...\n");
    figures.bigList = runChild(ChildCommand(measureCommand("big"), kWindowEnv));
    figures.exportRun = runChild(ChildCommand(measureCommand("export"), kWindowEnv));
    std::fprintf(stderr, "pelmarot-check of the whole register...\n");
    figures.check = runChild(ChildCommand(measureCommand("check"), kWindowEnv));
    std::fprintf(stderr, "PostgreSQL: a throwaway server, the register copied into it, reloads, month-end...\n");
    figures.postgres = measurePostgres(data, big, doctors, monthEnd);
    std::fprintf(stderr, "Month-end export from SQLite and Paradox%s, in turns with the sqlite3 shell...\n",
                 large ? " and of 10,000,000 persons" : "");
    figures.monthEnd = measureMonthEnd(data, big, paradox, tenMillion, monthEnd);
    std::fprintf(stderr, "Comparing the outputs...\n");
    const fs::path reference = figures.monthEnd.sqlite.firstOutput;
    figures.shellSameBytes = concatenationEquals(reference, figures.monthEnd.shell.firstOutput);
    figures.paradoxSameBytes = sameFiles(figures.monthEnd.paradox.firstOutput, reference);
    figures.fewFilesSameBytes = sameFiles(figures.monthEnd.fewFiles.firstOutput, reference);
    figures.postgresSameBytes = sameFiles(figures.postgres.monthEnd.firstOutput, reference);

    printTable(figures, loadAtStart);
    return allOutputsRight(figures) ? 0 : 1;
}

void printUsage() {
    std::printf("Usage: pelmarot_bench [--large]\n"
                "       pelmarot_bench --measure NAME [DOCTOR...]\n"
                "Prints the program's speed and memory figures as one table (see bench/README.md).\n"
                "  --large         also the month-end export of a register of 10,000,000 persons\n"
                "                  (made once, which takes minutes)\n"
                "  --measure NAME  one measure alone: first-reload, reloads, bare-reloads, big,\n"
                "                  export, check or bare-scan (the month end's rows read by a bare\n"
                "                  sqlite3 loop, which prints its counts)\n");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    const fs::path data = PELMAROT_BENCH_DATA;
    fs::create_directories(data);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--measure")
        return runMeasure(args[1], {args.begin() + 2, args.end()}, data, argv);
    if (args.empty() || (args.size() == 1 && args[0] == "--large"))
        return runBench(data, !args.empty());
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        printUsage();
        return 0;
    }
    std::fprintf(stderr, "pelmarot_bench: unknown arguments\nTry 'pelmarot_bench --help' for more information.\n");
    return 2;
}

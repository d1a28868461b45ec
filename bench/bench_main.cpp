// The speed and memory figures of the program, printed as one table:
//   start-up to the window shown with 10,000 active doctors;
//   reload of a doctor with about 2,000 persons in a 2,000,000-person register (median, 95th percentile);
//   a doctor with 200,000 persons: memory per row and the time to paint the grid while scrolling;
//   the export of a doctor with 100,000 persons, from the dialog's acceptance to the message;
//   the month-end export of every active doctor by pelmarot-export, against the sqlite3 shell writing the
//   same bytes with one query (bench/month_end.sql), with the outputs compared byte for byte;
//   pelmarot-check reading and checking the whole 2,000,000-person register.
// Every measure runs in a process of its own ("pelmarot_bench --measure NAME"), so that its peak memory is
// its own. Registers are made once by the demo generator and kept under the build tree.
#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/Prompter.h"
#include "app/TfrmOsigurenici.h"
#include "engine/SqliteCursor.h"

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Anonymous resident memory: the heap, without the database file's pages that SQLite maps.
long residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kilobytes = 0;
    while (status >> key) {
        if (key == "RssAnon:") {
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// The first column of the first row of a query on an SQLite file, read through the engine's own handle owner.
std::string sqlScalar(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const engine::SqliteConnection db(raw);
    sqlite3_stmt* raw_statement = nullptr;
    sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw_statement, nullptr);
    const engine::SqliteStatement st(raw_statement);
    std::string value;
    if (st && sqlite3_step(st.get()) == SQLITE_ROW)
        if (const auto* text = sqlite3_column_text(st.get(), 0))
            value = reinterpret_cast<const char*>(text);
    return value;
}

std::string writeAlias(const fs::path& folder, const fs::path& database) {
    const fs::path alias = folder / (database.stem().string() + ".ini");
    std::ofstream(alias) << "[kapitacija]\ndriver = sqlite\npath = " << database.string() << "\n";
    return alias.string();
}

// A register made by the demo generator and then adjusted by `sql`, kept once made.
fs::path cachedRegister(const fs::path& data, const std::string& name, const std::string& generatorArguments,
                        const std::string& sql) {
    const fs::path path = data / (name + ".sqlite");
    if (fs::exists(path))
        return path;
    const fs::path building = data / (name + ".building.sqlite");
    fs::remove(building);
    run(std::string(PELMAROT_DEMO_DB) + " " + generatorArguments + " " + building.string() + " >/dev/null");
    run("sqlite3 " + building.string() + " \"" + sql + "\"");
    fs::rename(building, path);
    return path;
}

// 2,000,000 persons, with two doctors of 200,000 and 100,000 persons taken from the generated rows.
fs::path bigRegister(const fs::path& data) {
    return cachedRegister(
        data, "register-2m", "--doctors 1000 --persons 2000000 --seed 7",
        "UPDATE Osigurenici SET LEKAR_S='BIG200', BR_ODJ=NULL WHERE rowid <= 200000;"
        " UPDATE Osigurenici SET LEKAR_S='BIG100', BR_ODJ=NULL WHERE rowid > 200000 AND rowid <= 300000;"
        " INSERT INTO Lekari VALUES ('BIG200','Golem','Lekar','001',1), ('BIG100','Sreden','Lekar','001',1);");
}

fs::path manyDoctorsRegister(const fs::path& data) {
    return cachedRegister(data, "register-10k-doctors", "--doctors 10000 --persons 50000 --seed 3",
                          "UPDATE Lekari SET AKTIVEN=1");
}

class BenchPrompter final : public app::Prompter {
public:
    void showMessage(const QString& message) override {
        messageAt = Clock::now();
        lastMessage = message;
    }
    void showError(const QString& text) override { std::fprintf(stderr, "error box: %s\n", qPrintable(text)); }
    std::optional<QString> askPassword(const QString&) override { return std::nullopt; }
    std::optional<QString> chooseSaveFolder(const QString&) override {
        acceptedAt = Clock::now();
        return folder;
    }
    QString folder;
    QString lastMessage;
    Clock::time_point acceptedAt, messageAt;
};

// Moves the focus from the doctor box to the grid (the reload) and paints the grid; returns milliseconds.
double reloadFor(app::TfrmOsigurenici& window, const QByteArray& code) {
    window.cbLekar->setFocus();
    window.cbLekar->setKeyValue(code);
    QApplication::processEvents();
    const auto start = Clock::now();
    window.DBGrid1->setFocus();
    window.DBGrid1->viewport()->repaint();
    return msSince(start);
}

// Prints "key value" lines for the parent.
void report(const char* key, double value) { std::printf("%s %.6f\n", key, value); }

int measureInWindow(const std::string& measure, const fs::path& data, int argc, char** argv) {
    const fs::path big = bigRegister(data);
    // Another backend holding the same register (the PostgreSQL copy) may be named by the parent.
    const char* otherAliasFile = std::getenv("PELMAROT_BENCH_ALIASES");
    setenv("PELMAROT_ALIASES", otherAliasFile ? otherAliasFile : writeAlias(data, big).c_str(), 1);
    setenv("LC_ALL", "C", 1);
    QApplication application(argc, argv);
    BenchPrompter prompter;
    app::TfrmOsigurenici window(&prompter);
    window.show();
    const std::string other = sqlScalar(big.string(), "SELECT LEKAR_S FROM Lekari WHERE AKTIVEN=1 AND "
                                                      "LEKAR_S NOT IN (SELECT LEKAR_S FROM Osigurenici) LIMIT 1");
    if (measure == "reload") {
        // The doctor whose registered persons number closest to 2,000.
        const std::string doctor2k = sqlScalar(
            big.string(),
            "SELECT LEKAR_S FROM Osigurenici WHERE BR_ODJ IS NULL AND LEKAR_S NOT LIKE 'BIG%' GROUP BY LEKAR_S "
            "ORDER BY abs(count(*) - 2000) LIMIT 1");
        std::vector<double> reloads;
        for (int i = 0; i < 41; ++i) {
            reloadFor(window, QByteArray::fromStdString(other));
            reloads.push_back(reloadFor(window, QByteArray::fromStdString(doctor2k)));
        }
        report("rows", window.qOsigurenici.recordCount());
        report("median", percentile(reloads, 0.5));
        report("p95", percentile(reloads, 0.95));
    } else if (measure == "big") {
        reloadFor(window, QByteArray::fromStdString(other));
        const long before = residentBytes();
        report("reload", reloadFor(window, "BIG200"));
        const long after = residentBytes();
        report("rows", window.qOsigurenici.recordCount());
        report("bytes_per_row", static_cast<double>(after - before) / std::max(1, window.qOsigurenici.recordCount()));
        std::vector<double> frames;
        QScrollBar* bar = window.DBGrid1->verticalScrollBar();
        for (int i = 0; i < 60; ++i) {
            const auto start = Clock::now();
            bar->setValue(bar->maximum() * i / 59);
            window.DBGrid1->viewport()->repaint();
            frames.push_back(msSince(start));
        }
        report("frame_median", percentile(frames, 0.5));
        report("frame_max", percentile(frames, 1.0));
    } else if (measure == "export") {
        QDir folder(QString::fromStdString((data / "export-100k").string()));
        folder.mkpath(QStringLiteral("."));
        prompter.folder = folder.absolutePath();
        reloadFor(window, "BIG100");
        std::vector<double> exports;
        for (int i = 0; i < 9; ++i) {
            window.btnEksportirajClick();
            exports.push_back(
                std::chrono::duration<double, std::milli>(prompter.messageAt - prompter.acceptedAt).count());
            QApplication::processEvents();
        }
        report("rows", window.qOsigurenici.recordCount());
        report("median", percentile(exports, 0.5));
        report("ok", prompter.lastMessage == QString::fromUtf8(app::TfrmOsigurenici::kSuccessMessage) ? 1 : 0);
    } else {
        std::fprintf(stderr, "unknown measure %s\n", measure.c_str());
        return 2;
    }
    return 0;
}

struct ChildRun {
    double ms = 0;
    double peakMiB = 0;
    std::map<std::string, double> values;
};

// Runs a program with its standard output read into key/value pairs (or sent to `outputFile`); fails loudly when
// it ends with a status other than the accepted ones.
ChildRun runChild(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& inputFile = {}, const std::string& outputFile = {},
                  const std::vector<int>& acceptedStatuses = {0}) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::exit(1);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        for (const auto& e : env)
            putenv(const_cast<char*>(e.c_str()));
        if (!inputFile.empty())
            freopen(inputFile.c_str(), "r", stdin);
        if (!outputFile.empty())
            freopen(outputFile.c_str(), "w", stdout);
        else
            dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    ChildRun run;
    run.ms = msSince(start);
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) ||
        std::find(acceptedStatuses.begin(), acceptedStatuses.end(), WEXITSTATUS(status)) == acceptedStatuses.end()) {
        std::fprintf(stderr, "failed (status %d): %s\n", status, args.front().c_str());
        std::exit(1);
    }
    std::istringstream lines(output);
    std::string key;
    double value = 0;
    while (lines >> key >> value)
        run.values[key] = value;
    return run;
}

// Whether the concatenation of the files, in byte order of their names, equals the reference file.
bool concatenationEquals(const fs::path& folder, const fs::path& reference) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".txt")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::ifstream expected(reference, std::ios::binary);
    std::string ours, theirs;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        ours.assign(std::istreambuf_iterator<char>(in), {});
        theirs.resize(ours.size());
        if (!expected.read(theirs.data(), static_cast<std::streamsize>(theirs.size())) || ours != theirs)
            return false;
    }
    return expected.peek() == std::char_traits<char>::eof();
}

// pelmarot-check over the 2,000,000-person register: its time and peak memory, and the persons its summary counts.
// It ends with 1, not 0: the demo register's inactive doctors still have persons, which it names.
int measureCheck(const fs::path& data) {
    const fs::path big = bigRegister(data);
    const fs::path summary = data / "check-summary.txt";
    const ChildRun run =
        runChild({PELMAROT_CHECK, "--quiet", "kapitacija"}, {"PELMAROT_ALIASES=" + writeAlias(data, big), "LC_ALL=C"},
                 {}, summary.string(), {0, 1});
    std::ifstream lines(summary);
    std::string line;
    double persons = 0;
    while (std::getline(lines, line))
        if (line.rfind("persons: ", 0) == 0)
            persons = std::stod(line.substr(9));
    report("seconds", run.ms / 1000);
    report("peak_mib", run.peakMiB);
    report("persons", persons);
    return 0;
}

void row(const std::string& what, const std::string& figure, const std::string& memory, const char* target) {
    std::printf("| %-56s | %-24s | %9s | %-16s |\n", what.c_str(), figure.c_str(), memory.c_str(), target);
}

std::string fmt(const char* format, double a, double b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string mib(double value) { return fmt("%.0f MiB", value); }

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    const fs::path data = PELMAROT_BENCH_DATA;
    fs::create_directories(data);
    if (argc == 3 && std::string(argv[1]) == "--measure")
        return std::string(argv[2]) == "check" ? measureCheck(data) : measureInWindow(argv[2], data, 1, argv);

    std::fprintf(stderr, "Preparing registers under %s (made once)...\n", data.c_str());
    const fs::path big = bigRegister(data);
    const fs::path many = manyDoctorsRegister(data);
    const std::string self = fs::canonical("/proc/self/exe").string();
    const std::vector<std::string> quietEnv = {"QT_QPA_PLATFORM=offscreen", "LC_ALL=C"};

    std::fprintf(stderr, "Start-up...\n");
    std::vector<double> startups;
    double startupPeak = 0;
    for (int i = 0; i < 7; ++i) {
        const ChildRun run = runChild({PELMAROT_STARTUP_PROBE},
                                      {"PELMAROT_ALIASES=" + writeAlias(data, many), "QT_QPA_PLATFORM=offscreen"});
        startups.push_back(run.ms);
        startupPeak = std::max(startupPeak, run.peakMiB);
    }
    std::fprintf(stderr, "Reloads, the 200,000-person doctor, the 100,000-person export...\n");
    const ChildRun reload = runChild({self, "--measure", "reload"}, quietEnv);
    const ChildRun bigList = runChild({self, "--measure", "big"}, quietEnv);
    const ChildRun exportRun = runChild({self, "--measure", "export"}, quietEnv);
    std::fprintf(stderr, "pelmarot-check of the whole register...\n");
    const ChildRun checkRun = runChild({self, "--measure", "check"}, quietEnv);

    std::fprintf(stderr, "PostgreSQL: a throwaway server, the register copied into it, reloads over its socket...\n");
    const fs::path pgFolder = data / "pg";
    runChild({"bash", PELMAROT_PG_SCRIPT, "start", pgFolder.string()}, {});
    runChild({"bash", PELMAROT_PG_SCRIPT, "createdb", pgFolder.string()}, {});
    const fs::path pgAliases = data / "postgresql.ini";
    std::ofstream(pgAliases) << "[big]\ndriver = sqlite\npath = " << big.string()
                             << "\n[kapitacija]\ndriver = postgresql\nhost = " << pgFolder.string()
                             << "\nport = 54329\ndbname = register\nuser = postgres\n";
    const ChildRun pgCopy = runChild({PELMAROT_COPY, "big", "kapitacija"}, {"PELMAROT_ALIASES=" + pgAliases.string()});
    const ChildRun pgReload = runChild({self, "--measure", "reload"}, {"QT_QPA_PLATFORM=offscreen", "LC_ALL=C",
                                                                       "PELMAROT_BENCH_ALIASES=" + pgAliases.string()});
    runChild({"bash", PELMAROT_PG_SCRIPT, "stop", pgFolder.string()}, {});

    std::fprintf(stderr, "Month-end export, ours and the sqlite3 shell's...\n");
    const fs::path monthEnd = data / "month-end";
    fs::remove_all(monthEnd);
    fs::create_directories(monthEnd);
    const ChildRun ours = runChild({PELMAROT_EXPORT, "--all", "--out", monthEnd.string()},
                                   {"PELMAROT_ALIASES=" + writeAlias(data, big), "LC_ALL=C"});
    const fs::path shellOutput = data / "month-end-sqlite3.txt";
    const ChildRun shell = runChild({"sqlite3", big.string()}, {}, PELMAROT_MONTH_END_SQL, shellOutput.string());
    const bool same = concatenationEquals(monthEnd, shellOutput);
    const auto monthEndRows = static_cast<double>(
        std::stoll(sqlScalar(big.string(), "SELECT count(*) FROM Osigurenici o JOIN Lekari l ON o.LEKAR_S = l.LEKAR_S "
                                           "WHERE l.AKTIVEN = 1 AND o.BR_ODJ IS NULL")));

    std::printf("| %-56s | %-24s | %9s | %-16s |\n", "measure", "result", "peak mem", "target");
    std::printf("|%s|%s|%s|%s|\n", std::string(58, '-').c_str(), std::string(26, '-').c_str(),
                std::string(11, '-').c_str(), std::string(18, '-').c_str());
    row("start-up to window shown, 10,000 active doctors",
        fmt("%.0f ms (p95 %.0f ms)", percentile(startups, 0.5), percentile(startups, 0.95)), mib(startupPeak),
        "<= 500 ms");
    row(fmt("reload SQLite, %.0f persons of 2,000,000 (median, p95)", reload.values.at("rows")),
        fmt("%.2f ms / %.2f ms", reload.values.at("median"), reload.values.at("p95")), mib(reload.peakMiB),
        "median <= 10 ms");
    row(fmt("reload PostgreSQL, %.0f persons, unix socket (median, p95)", pgReload.values.at("rows")),
        fmt("%.2f ms / %.2f ms", pgReload.values.at("median"), pgReload.values.at("p95")), mib(pgReload.peakMiB),
        "median <= 30 ms");
    row("reload Paradox", "see pelmarot_paradox_bench", "", "later <= 20 ms");
    row("copy of the 2,000,000-person register into PostgreSQL", fmt("%.1f s", pgCopy.ms / 1000), mib(pgCopy.peakMiB),
        "<= 60 s");
    row(fmt("reload of %.0f persons", bigList.values.at("rows")), fmt("%.0f ms", bigList.values.at("reload")),
        mib(bigList.peakMiB), "-");
    row("memory per row above the baseline, 200,000 persons", fmt("%.0f bytes", bigList.values.at("bytes_per_row")), "",
        "< 300 bytes");
    row("grid paint while scrolling 200,000 rows (median, max)",
        fmt("%.2f ms / %.2f ms", bigList.values.at("frame_median"), bigList.values.at("frame_max")), "", "< 16 ms");
    row(fmt("export of %.0f persons, dialog accepted to message", exportRun.values.at("rows")),
        fmt("%.0f ms", exportRun.values.at("median")) + (exportRun.values.at("ok") == 1 ? "" : " FAILED"),
        mib(exportRun.peakMiB), "<= 200 ms");
    row(fmt("month-end export, pelmarot-export --all (%.0f rows)", monthEndRows), fmt("%.2f s", ours.ms / 1000),
        mib(ours.peakMiB), "");
    row("month-end export, sqlite3 shell, one query", fmt("%.2f s", shell.ms / 1000), mib(shell.peakMiB), "");
    row("ratio ours / sqlite3", fmt("%.2f", ours.ms / shell.ms) + (same ? " (same bytes)" : " (OUTPUT DIFFERS)"), "",
        "<= 1.0, aim 0.5");
    row(fmt("pelmarot-check, the whole register (%.0f persons)", checkRun.values.at("persons")),
        fmt("%.2f s", checkRun.values.at("seconds")), mib(checkRun.values.at("peak_mib")), "a few seconds");
    return same && exportRun.values.at("ok") == 1 ? 0 : 1;
}

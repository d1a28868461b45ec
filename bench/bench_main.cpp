// The speed and memory figures of the window, printed as one table:
//   start-up to the window shown with 10,000 active doctors;
//   reload of a doctor with about 2,000 persons in a 2,000,000-person register (median, 95th percentile);
//   a doctor with 200,000 persons: memory per row and the time to paint the grid while scrolling;
//   the export of a doctor with 100,000 persons, from the dialog's acceptance to the message.
// Registers are made once by the demo generator and kept under the build tree.
#include "app/DataGrid.h"
#include "app/LookupComboBox.h"
#include "app/Prompter.h"
#include "app/TfrmOsigurenici.h"

#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <string>
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

std::string sqlScalar(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::string value;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        value = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
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
    return cachedRegister(data, "register-2m", "--doctors 1000 --persons 2000000 --seed 7",
                          "UPDATE Osigurenici SET LEKAR_S='BIG200', BR_ODJ=NULL WHERE rowid <= 200000;"
                          " UPDATE Osigurenici SET LEKAR_S='BIG100', BR_ODJ=NULL WHERE rowid > 200000 AND rowid <= 300000;"
                          " INSERT INTO Lekari VALUES ('BIG200','Golem','Lekar','001',1), ('BIG100','Sreden','Lekar','001',1);");
}

fs::path manyDoctorsRegister(const fs::path& data) {
    return cachedRegister(data, "register-10k-doctors", "--doctors 10000 --persons 50000 --seed 3",
                          "UPDATE Lekari SET AKTIVEN=1");
}

double startupMs(const std::string& aliasFile, int runs, std::vector<double>& all) {
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            setenv("PELMAROT_ALIASES", aliasFile.c_str(), 1);
            execl(PELMAROT_STARTUP_PROBE, PELMAROT_STARTUP_PROBE, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "start-up probe failed\n");
            std::exit(1);
        }
        all.push_back(msSince(start));
    }
    return percentile(all, 0.5);
}

class BenchPrompter final : public app::Prompter {
public:
    void showMessage(const QString& message) override {
        messageAt = Clock::now();
        lastMessage = message;
    }
    void showError(const QString& text) override { std::fprintf(stderr, "error box: %s\n", qPrintable(text)); }
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

void row(const char* what, const std::string& figure, const char* target) {
    std::printf("| %-58s | %-22s | %-14s |\n", what, figure.c_str(), target);
}

std::string fmt(const char* format, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    const fs::path data = PELMAROT_BENCH_DATA;
    fs::create_directories(data);
    std::fprintf(stderr, "Preparing registers under %s (made once)...\n", data.c_str());
    const fs::path big = bigRegister(data);
    const fs::path many = manyDoctorsRegister(data);

    std::vector<double> startups;
    const double startup = startupMs(writeAlias(data, many), 7, startups);

    setenv("PELMAROT_ALIASES", writeAlias(data, big).c_str(), 1);
    QApplication application(argc, argv);
    BenchPrompter prompter;
    app::TfrmOsigurenici window(&prompter);
    window.show();

    // The doctor whose registered persons number closest to 2,000.
    const std::string doctor2k = sqlScalar(big.string(),
        "SELECT LEKAR_S FROM Osigurenici WHERE BR_ODJ IS NULL AND LEKAR_S NOT LIKE 'BIG%' GROUP BY LEKAR_S "
        "ORDER BY abs(count(*) - 2000) LIMIT 1");
    const std::string other = sqlScalar(big.string(), "SELECT LEKAR_S FROM Lekari WHERE AKTIVEN=1 AND LEKAR_S <> '" +
                                                          doctor2k + "' LIMIT 1");
    std::vector<double> reloads;
    for (int i = 0; i < 41; ++i) {
        reloadFor(window, QByteArray::fromStdString(other));
        reloads.push_back(reloadFor(window, QByteArray::fromStdString(doctor2k)));
    }
    const int rows2k = window.qOsigurenici.recordCount();

    reloadFor(window, QByteArray::fromStdString(other));
    const long before = residentBytes();
    const double bigReload = reloadFor(window, "BIG200");
    const long after = residentBytes();
    const int bigRows = window.qOsigurenici.recordCount();
    std::vector<double> frames;
    QScrollBar* bar = window.DBGrid1->verticalScrollBar();
    for (int i = 0; i < 60; ++i) {
        const auto start = Clock::now();
        bar->setValue(bar->maximum() * i / 59);
        window.DBGrid1->viewport()->repaint();
        frames.push_back(msSince(start));
    }

    QDir exportFolder(QString::fromStdString((data / "export").string()));
    exportFolder.mkpath(QStringLiteral("."));
    prompter.folder = exportFolder.absolutePath();
    reloadFor(window, "BIG100");
    std::vector<double> exports;
    for (int i = 0; i < 9; ++i) {
        window.btnEksportirajClick();
        exports.push_back(std::chrono::duration<double, std::milli>(prompter.messageAt - prompter.acceptedAt).count());
        QApplication::processEvents();
    }
    const int exportRows = window.qOsigurenici.recordCount();
    const bool exportOk = prompter.lastMessage == QString::fromUtf8(app::TfrmOsigurenici::kSuccessMessage);

    std::printf("| %-58s | %-22s | %-14s |\n", "measure", "result", "target");
    std::printf("|%s|%s|%s|\n", std::string(60, '-').c_str(), std::string(24, '-').c_str(), std::string(16, '-').c_str());
    row("start-up to window shown, 10,000 active doctors (median)", fmt("%.0f ms (p95 %.0f ms)", startup, percentile(startups, 0.95)), "<= 500 ms");
    row(fmt("reload, %.0f persons of 2,000,000 (median, p95)", rows2k).c_str(),
        fmt("%.2f ms / %.2f ms", percentile(reloads, 0.5), percentile(reloads, 0.95)), "median <= 10 ms");
    row(fmt("reload, %.0f persons", bigRows).c_str(), fmt("%.0f ms", bigReload), "-");
    row("memory per row above the baseline, 200,000 persons", fmt("%.0f bytes", static_cast<double>(after - before) / std::max(1, bigRows)), "< 300 bytes");
    row("grid paint while scrolling 200,000 rows (median, max)", fmt("%.2f ms / %.2f ms", percentile(frames, 0.5), percentile(frames, 1.0)), "< 16 ms");
    row(fmt("export of %.0f persons, dialog accepted to message (median)", exportRows).c_str(),
        fmt("%.0f ms", percentile(exports, 0.5)) + (exportOk ? "" : " FAILED"), "<= 200 ms");
    return exportOk ? 0 : 1;
}

#include "WindowMeasures.h"

#include "ChildRun.h"
#include "Registers.h"
#include "Statistics.h"
#include "app/DataGrid.h"
#include "app/DoctorLookupBox.h"
#include "app/Prompter.h"
#include "app/TfrmOsigurenici.h"

#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Anonymous resident memory: the heap, without the database file's pages.
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

struct ReloadTimes {
    double list = 0;    // the focus moved to the grid: the list read again
    double painted = 0; // and the grid painted with it
};

// Moves the focus from the doctor box to the grid (the reload) and paints the grid.
ReloadTimes reloadTimesFor(app::TfrmOsigurenici& window, const std::string& code) {
    window.cbLekar->setFocus();
    window.cbLekar->setKeyValue(QByteArray::fromStdString(code));
    QApplication::processEvents();
    const auto start = Clock::now();
    window.DBGrid1->setFocus();
    ReloadTimes times;
    times.list = msSince(start);
    window.DBGrid1->viewport()->repaint();
    times.painted = msSince(start);
    return times;
}

double reloadFor(app::TfrmOsigurenici& window, const std::string& code) { return reloadTimesFor(window, code).painted; }

void measureFirstReload(app::TfrmOsigurenici& window, const std::string& doctor) {
    reportValue("ms", reloadFor(window, doctor));
    reportValue("rows", window.qOsigurenici.recordCount());
}

// The list is loaded once first (a doctor without persons), as a clerk's first choice would have done.
void measureReloads(app::TfrmOsigurenici& window, const std::vector<std::string>& doctors, const std::string& empty) {
    reloadFor(window, empty);
    std::vector<double> reloads, lists;
    long long rows = 0;
    for (const std::string& doctor : doctors) {
        const ReloadTimes times = reloadTimesFor(window, doctor);
        reloads.push_back(times.painted);
        lists.push_back(times.list);
        rows += window.qOsigurenici.recordCount();
    }
    reportValue("doctors", static_cast<double>(doctors.size()));
    reportValue("rows_mean", static_cast<double>(rows) / static_cast<double>(doctors.size()));
    reportValue("median", median(reloads));
    reportValue("p95", percentile(reloads, 0.95));
    reportValue("list_median", median(lists));
    reportValue("list_p95", percentile(lists, 0.95));
}

void measureBigList(app::TfrmOsigurenici& window, const std::string& empty) {
    reloadFor(window, empty);
    const long before = residentBytes();
    reportValue("reload", reloadFor(window, "BIG200"));
    const long after = residentBytes();
    reportValue("rows", window.qOsigurenici.recordCount());
    reportValue("bytes_per_row", static_cast<double>(after - before) / std::max(1, window.qOsigurenici.recordCount()));
    std::vector<double> frames;
    QScrollBar* bar = window.DBGrid1->verticalScrollBar();
    for (int i = 0; i < 60; ++i) {
        const auto start = Clock::now();
        bar->setValue(bar->maximum() * i / 59);
        window.DBGrid1->viewport()->repaint();
        frames.push_back(msSince(start));
    }
    reportValue("frame_median", median(frames));
    reportValue("frame_max", maximum(frames));
}

void measureExport(app::TfrmOsigurenici& window, BenchPrompter& prompter, const std::filesystem::path& data) {
    QDir folder(QString::fromStdString((data / "export-100k").string()));
    folder.mkpath(QStringLiteral("."));
    prompter.folder = folder.absolutePath();
    reloadFor(window, "BIG100");
    std::vector<double> exports;
    for (int i = 0; i < 9; ++i) {
        window.btnEksportirajClick();
        exports.push_back(std::chrono::duration<double, std::milli>(prompter.messageAt - prompter.acceptedAt).count());
        QApplication::processEvents();
    }
    reportValue("rows", window.qOsigurenici.recordCount());
    reportValue("median", median(exports));
    reportValue("ok", prompter.lastMessage == QString::fromUtf8(app::TfrmOsigurenici::kSuccessMessage) ? 1 : 0);
}

} // namespace

int measureInWindow(const std::string& measure, const std::vector<std::string>& doctors,
                    const std::filesystem::path& data, int argc, char** argv) {
    const std::filesystem::path big = bigRegister(data);
    // Another backend holding the same register (the PostgreSQL copy) may be named by the parent.
    const char* otherAliasFile = std::getenv("PELMAROT_BENCH_ALIASES");
    setenv("PELMAROT_ALIASES", otherAliasFile ? otherAliasFile : sqliteAlias(big).c_str(), 1);
    setenv("LC_ALL", "C", 1);
    const std::string empty = doctorWithoutPersons(big);
    QApplication application(argc, argv);
    // The program's support log leaves out each reload's debug line; so does the bench.
    QLoggingCategory::setFilterRules(QStringLiteral("pelmarot.*.debug=false"));
    BenchPrompter prompter;
    app::TfrmOsigurenici window(&prompter);
    window.show();
    if (measure == "first-reload")
        measureFirstReload(window, doctors.front());
    else if (measure == "reloads")
        measureReloads(window, doctors, empty);
    else if (measure == "big")
        measureBigList(window, empty);
    else if (measure == "export")
        measureExport(window, prompter, data);
    else {
        std::fprintf(stderr, "unknown measure %s\n", measure.c_str());
        return 2;
    }
    return 0;
}

} // namespace bench

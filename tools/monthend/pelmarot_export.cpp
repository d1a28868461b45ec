// pelmarot-export: writes the export files of many doctors at once, exactly as the window writes them.
#include "cli/TerminationSignals.h"
#include "data/Connection.h"
#include "data/RegionalSettings.h"
#include "export/MonthEnd.h"
#include "files/OpenFileLimit.h"
#include "tools/TerminalPasswordPrompt.h"

#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string interruptionMessage(const char* signalName, std::size_t removed) {
    return std::string("pelmarot-export: interrupted by ") + signalName + "; " + std::to_string(removed) +
           " unfinished file" + (removed == 1 ? "" : "s") + " removed";
}

constexpr const char* kProgram = "pelmarot-export";

constexpr const char* kUsage = "Usage: pelmarot-export [OPTION]... (--all | CODE...)\n"
                               "\n"
                               "Writes \"<code>.txt\" for each doctor code given, or for every active doctor with\n"
                               "--all, into FOLDER (default: the current folder), with exactly the bytes the\n"
                               "window's export button writes. An earlier file of the same name is replaced\n"
                               "only once the new one is complete.\n"
                               "\n"
                               "  -a, --all             every active doctor of the register\n"
                               "  -o, --out=FOLDER      the folder to write into; made when it does not exist\n"
                               "                        (the folder it is in must)\n"
                               "      --alias=NAME      the database alias to read (default: kapitacija)\n"
                               "      --accept-transliterated\n"
                               "                        a text the code page cannot hold is written\n"
                               "                        transliterated (or as \"?\") and named in a warning;\n"
                               "                        with this option such warnings leave the status 0\n"
                               "  -q, --quiet           nothing on success: failures and warnings only\n"
                               "  -h, --help            this text\n"
                               "  -V, --version         the program's version\n"
                               "\n"
                               "The summary goes to standard output; failures, warnings and the progress bar\n"
                               "to standard error.\n"
                               "\n"
                               "Exit status: 0 when every file was written; 1 when any failed (each failure\n"
                               "is named on standard error, the others are still written) or when a text was\n"
                               "transliterated without --accept-transliterated; 2 for bad usage; 128+N after\n"
                               "signal N (SIGINT, SIGTERM, SIGHUP), which removes the unfinished files first.\n";

struct Options {
    std::string alias = data::kRegisterAlias;
    std::string folder = ".";
    bool all = false;
    bool acceptTransliterated = false;
    bool quiet = false;
    std::vector<std::string> codes; // each code once, in the order first given
};

std::string formatDuration(double seconds) {
    const auto total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// A one-line progress bar on a terminal: while the register is read in one pass, its rows read against the rows
// to read; then the doctors' files done against those asked for; each with the rate of that stage and the time
// it leaves at that rate.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled), start_(Clock::now()) {}

    void rows(std::int64_t read, std::int64_t toRead) { show(read, toRead, "rows"); }

    void doctors(std::size_t done, std::size_t total) {
        // The files of a single read are done together once it ends; their rate starts then.
        if (stage_ != "doctors")
            start_ = Clock::now();
        show(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total), "doctors");
    }

    bool enabled() const { return enabled_; }

    static double secondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:
    using Clock = std::chrono::steady_clock;

    void show(std::int64_t done, std::int64_t total, const char* stage) {
        if (!enabled_ || total <= 0)
            return;
        stage_ = stage;
        // Ten times a second is as often as anyone reads it; the last state is always shown.
        const auto now = Clock::now();
        if (done < total && now - shown_ < std::chrono::milliseconds(100))
            return;
        shown_ = now;
        const double elapsed = secondsSince(start_);
        const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
        const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
        constexpr int kWidth = 30;
        const auto filled = static_cast<int>(kWidth * done / total);
        std::fprintf(stderr, "\r[%s%s] %lld/%lld %s  %.0f %s/s  %s left ", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), static_cast<long long>(done),
                     static_cast<long long>(total), stage, rate, stage, formatDuration(left).c_str());
        if (done == total && std::string_view(stage) == "doctors")
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

    bool enabled_;
    Clock::time_point start_;
    Clock::time_point shown_{};
    std::string_view stage_;
};

constexpr commandline::Option kOptions[] = {
    {"all", 'a'},  {"out", 'o', "a folder"}, {"alias", 0, "an alias name"}, {"accept-transliterated"}, {"quiet", 'q'},
    {"help", 'h'}, {"version", 'V'}};

// Reads the command line into options; returns the exit status when the program should end at once
// (--help, --version, bad usage).
std::optional<int> parseOptions(int argc, char** argv, Options& options) {
    return commandline::readCommandLine(kProgram, kUsage, argc, argv, kOptions, [&](const auto& commandLine) {
        options.all = commandLine.has("all");
        options.acceptTransliterated = commandLine.has("accept-transliterated");
        options.quiet = commandLine.has("quiet");
        options.folder = commandLine.value("out").value_or(options.folder);
        options.alias = commandLine.value("alias").value_or(options.alias);
        for (const std::string& code : commandLine.operands())
            if (std::find(options.codes.begin(), options.codes.end(), code) == options.codes.end())
                options.codes.push_back(code);
        if (options.all == !options.codes.empty())
            throw commandline::UsageError(options.all ? "give either --all or doctor codes, not both"
                                                      : "no doctor codes given");
    });
}

// The folder must take new files before the first doctor is read: one message instead of one failure per doctor.
// Returns whether the folder is still to be made: a month's folder that does not exist yet is made, as rsync
// makes its destination, once the register has been read (a month end that cannot read it leaves no empty
// folder behind); never its parents, so that a mistyped path is an error rather than a tree of new folders.
bool checkOutputFolder(const std::string& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        if (errno != ENOENT)
            throw std::runtime_error("cannot write into the folder " + folder + ": " + std::strerror(errno));
        return true;
    }
    if (!S_ISDIR(status.st_mode))
        throw std::runtime_error("cannot write into " + folder + ": it is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw std::runtime_error("cannot write into the folder " + folder + ": " + std::strerror(errno));
    return false;
}

void makeOutputFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0)
        return;
    if (errno == ENOENT)
        throw std::runtime_error("cannot make the folder " + folder +
                                 ": the folder it would be in does not exist (only the last folder of the path is "
                                 "made)");
    throw std::runtime_error("cannot make the folder " + folder + ": " + std::strerror(errno));
}

// What the run tells: on standard error each failure and warning as it happens and a progress bar on a
// terminal; on standard output the summary at the end, its result.
class RunReport {
public:
    RunReport(const engine::CodePage& codePage, const Options& options)
        : codePage_(codePage), options_(options), bar_(!options.quiet && isatty(STDERR_FILENO) != 0),
          start_(std::chrono::steady_clock::now()) {}

    // A code typed on the command line that the code page cannot hold names no doctor of the register.
    void unheldCode(const std::string& code) {
        ++failed_;
        std::fprintf(stderr, "pelmarot-export: %s: the code page %s cannot hold this doctor code\n", code.c_str(),
                     codePage_.name().c_str());
    }

    // The run stopped at a failure after which the register cannot be read: the failure was told once, with
    // its doctor, and the doctors after it are counted, not each told the same.
    void abandoned(std::size_t untried) {
        if (bar_.enabled())
            std::fputc('\n', stderr);
        std::fprintf(stderr,
                     "pelmarot-export: the register cannot be read any more (see the failure above); %zu "
                     "doctor%s not exported\n",
                     untried, untried == 1 ? " was" : "s were");
    }

    void rowsRead(std::int64_t read, std::int64_t toRead) { bar_.rows(read, toRead); }

    void doctorDone(std::size_t done, std::size_t total, const exportfile::DoctorExportResult& last) {
        if ((!last.written() || !last.warnings.empty()) && bar_.enabled())
            std::fputc('\n', stderr);
        const std::string code = codePage_.toUtf8(last.code);
        if (!last.written()) {
            ++failed_;
            std::fprintf(stderr, "pelmarot-export: %s: %s\n", code.c_str(), last.failure.c_str());
        }
        for (const auto& warning : last.warnings)
            std::fprintf(stderr, "pelmarot-export: warning: %s: %s\n", code.c_str(), warning.c_str());
        warned_ += last.warnings.size();
        if (last.written())
            rows_ += last.rows;
        bar_.doctors(done, total);
    }

    // Prints the summary and gives the exit status.
    int finish(std::size_t asked, std::size_t written) const {
        const int status = written == asked && (warned_ == 0 || options_.acceptTransliterated) ? 0 : 1;
        if (options_.quiet && status == 0)
            return status;
        std::printf("%zu of %zu files written (%lld rows) into %s in %.1f s%s\n", written, asked,
                    static_cast<long long>(rows_), options_.folder.c_str(), ProgressBar::secondsSince(start_),
                    written < asked ? "; see the failures above" : "");
        if (warned_)
            std::printf("%zu texts written transliterated; see the warnings above%s\n", warned_,
                        options_.acceptTransliterated ? " (accepted)" : "");
        return status;
    }

private:
    const engine::CodePage& codePage_;
    const Options& options_;
    ProgressBar bar_;
    std::chrono::steady_clock::time_point start_;
    std::size_t failed_ = 0;
    std::size_t warned_ = 0;
    std::int64_t rows_ = 0;
};

// Exports what the options ask for; failures of single doctors are reported, a failure to connect throws.
int exportFiles(const Options& options) {
    const bool folderToMake = checkOutputFolder(options.folder);
    exportfile::MonthEnd batch(options.alias, data::RegionalSettings::defaults(), terminalPasswordPrompt(kProgram));
    if (folderToMake)
        makeOutputFolder(options.folder);
    const engine::CodePage& codePage = batch.codePage();
    const data::RegionalSettings settings = data::RegionalSettings::fromSystem(codePage);
    batch.setRegionalSettings(settings);
    RunReport report(codePage, options);
    batch.setReadProgress([&](std::int64_t read, std::int64_t toRead) { report.rowsRead(read, toRead); });

    std::vector<exportfile::Doctor> doctors;
    if (options.all) {
        doctors = batch.activeDoctors();
    } else {
        // Codes on the command line are in the terminal's UTF-8; the register's are in the code page.
        for (const auto& code : options.codes) {
            bool exact = true;
            std::string converted = codePage.fromUtf8(code, &exact);
            if (exact)
                doctors.push_back(batch.doctorOf(converted));
            else
                report.unheldCode(code);
        }
    }
    const exportfile::MonthEndLedger ledger = batch.run(
        doctors, options.folder, [&](std::size_t done, std::size_t total, const exportfile::DoctorExportResult& last) {
            report.doctorDone(done, total, last);
        });
    using Outcome = exportfile::DoctorExportResult::Outcome;
    if (!ledger.givenUp().empty())
        report.abandoned(ledger.count(Outcome::NotTried));
    return report.finish(options.all ? ledger.size() : options.codes.size(), ledger.count(Outcome::Written));
}

} // namespace

int main(int argc, char** argv) {
    installTerminationSignalHandling(interruptionMessage); // before any thread starts
    // As servers do: a month end holds a file per doctor, and the usual soft limit is far below the hard one.
    files::raiseOpenFileLimit();
    Options options;
    if (const std::optional<int> status = parseOptions(argc, argv, options))
        return *status;
    // Qt Core only for the regional settings; no window.
    QCoreApplication application(argc, argv);
    try {
        return exportFiles(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "pelmarot-export: out of memory while writing the export files (the process's memory "
                             "limit, ulimit -v, may be too low); the unfinished files were removed\n");
        return 1;
    } catch (const std::system_error& e) {
        std::fprintf(
            stderr,
            "pelmarot-export: the system refused a thread or another resource the export needs (%s); the unfinished "
            "files were removed\n",
            e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelmarot-export: %s\n", e.what());
        return 1;
    }
}

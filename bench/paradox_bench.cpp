// The paradox driver's speed on a register of 2,000,000 insured persons and 1,000 doctors written as Paradox
// tables (kept under the build tree and written again only when missing): the first reload of a doctor's
// list (which builds the index of LEKAR_S), on connections of their own and with the tables dropped from the
// page cache before each (the output says how, and what stayed cached); later reloads of 300 different
// doctors; the index's memory, and a full read of the table for comparison. Budgets: first reload 0.5 s,
// later reloads 5 ms at the median and 20 ms at the 95th percentile and the slowest, index 64 MiB. The same
// register is written once more with its tables protected by a password: its month end (every active doctor)
// and its index build, each timed in turns with the unprotected one's, within 1.3 times theirs, and its files
// byte for byte theirs.
// Usage: pelmarot_paradox_bench [ROWS]   (default 2000000; --help prints the usage)
#include "Statistics.h"
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/ParadoxIndex.h"
#include "engine/ParadoxPasswords.h"
#include "engine/ParadoxTable.h"
#include "engine/ParadoxTestWriter.h"
#include "engine/RegisterSchema.h"
#include "export/MonthEnd.h"
#include "files/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDoctors = 1000;
constexpr int kFirstReloads = 5;
constexpr std::size_t kLaterReloads = 300;
constexpr const char* kFormat = "paradox register v1";
constexpr int kProtectedRounds = 3;
constexpr const char* kPassword = "Tajna-9";

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string doctorCode(int doctor) { return std::to_string(100001 + doctor); }

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// The field of a column: its position in the register's table.
std::size_t fieldOf(const engine::RegisterTable& table, std::string_view column) {
    return static_cast<std::size_t>(&table.column(column) - table.columns.data());
}

// Writes Lekari.DB and Osigurenici.DB as a desk's register would hold them: Latin (MAC C) texts, 4 KiB
// blocks, persons spread evenly over the doctors in the order they were registered, 5% deregistered.
void writeRegister(const fs::path& folder, long rows, const std::string& password) {
    fs::create_directories(folder);
    std::mt19937 generator(20261208);
    const char* surnames[] = {"Petrovski",   "Stojanovska", "Nikolovski", "Trajkovska", "Dimitrov",
                              "Georgievski", "Jovanovska",  "Ristovski",  "Angelovska", "Kostov"};
    const char* names[] = {"Ilija", "Marija", "Goran", "Elena", "Dragan", "Vesna", "Zoran", "Biljana", "Nikola"};
    const testsupport::WriterOptions layout{
        .versionId = 12, .blockSizeCode = 4, .codePage = 1251, .recordsPerBlock = 0, .password = password};
    {
        const engine::RegisterTable& table = engine::doctorTable();
        testsupport::ParadoxTestWriter lekari((folder / "Lekari.DB").string(), testsupport::registerFields(table),
                                              layout);
        for (int d = 0; d < kDoctors; ++d) {
            std::string record = lekari.blankRecord();
            lekari.alpha(record, fieldOf(table, "LEKAR_S"), doctorCode(d));
            lekari.alpha(record, fieldOf(table, "PRE"), surnames[d % 10]);
            lekari.alpha(record, fieldOf(table, "IME"), names[d % 9]);
            lekari.alpha(record, fieldOf(table, "OPS_S"), std::to_string(100 + d % 80));
            lekari.logical(record, fieldOf(table, "AKTIVEN"), d % 50 != 0);
            lekari.append(record);
        }
    }
    const engine::RegisterTable& table = engine::insuredTable();
    testsupport::ParadoxTestWriter osigurenici((folder / "Osigurenici.DB").string(), testsupport::registerFields(table),
                                               layout);
    const std::size_t mbField = fieldOf(table, "MB"), surnameField = fieldOf(table, "PRE"),
                      fatherField = fieldOf(table, "TIME"), nameField = fieldOf(table, "IME"),
                      doctorField = fieldOf(table, "LEKAR_S"), numberField = fieldOf(table, "BR_PRI"),
                      ucen30Field = fieldOf(table, "UCEN_30"), ucen70Field = fieldOf(table, "UCEN_70"),
                      dateField = fieldOf(table, "DATA_PRI"), deregistrationField = fieldOf(table, "BR_ODJ");
    const engine::DayNumber firstDay = engine::dayNumberOf(1995, 1, 1);
    for (long i = 0; i < rows; ++i) {
        std::string record = osigurenici.blankRecord();
        char mb[16];
        std::snprintf(mb, sizeof mb, "%013ld", 1000000000000L + i * 7919 % 8999999999999L);
        osigurenici.alpha(record, mbField, mb);
        osigurenici.alpha(record, surnameField, surnames[generator() % 10]);
        osigurenici.alpha(record, fatherField, names[generator() % 9]);
        osigurenici.alpha(record, nameField, names[generator() % 9]);
        osigurenici.alpha(record, doctorField, doctorCode(static_cast<int>(generator() % kDoctors)));
        osigurenici.alpha(record, numberField, std::to_string(10000 + i % 90000));
        const unsigned flags = generator() % 10;
        osigurenici.logical(record, ucen30Field, flags < 2);
        osigurenici.logical(record, ucen70Field, flags == 9);
        osigurenici.date(record, dateField, firstDay + static_cast<engine::DayNumber>(generator() % 10950));
        if (generator() % 20 == 0)
            osigurenici.alpha(record, deregistrationField, "O" + std::to_string(i % 100000));
        osigurenici.append(record);
    }
    osigurenici.finish();
}

// The register's folder, with its alias file (which gives the password of a protected register).
fs::path cachedRegister(long rows, const std::string& password = {}) {
    const fs::path folder =
        fs::path(PELMAROT_BENCH_DATA) / ((password.empty() ? "paradox-" : "paradox-protected-") + std::to_string(rows));
    const fs::path aliases = folder / "aliases.ini";
    const auto writeAliases = [&] {
        std::ofstream(aliases) << "[kapitacija]\ndriver = paradox\npath = " << folder.string() << "\n"
                               << (password.empty() ? "" : "password = " + password + "\n");
        fs::permissions(aliases, fs::perms::owner_read | fs::perms::owner_write);
    };
    const fs::path stamp = folder / "FORMAT";
    std::string written;
    std::getline(std::ifstream(stamp), written);
    if (written == kFormat && fs::exists(folder / "Osigurenici.DB")) {
        writeAliases();
        return folder;
    }
    const auto start = Clock::now();
    std::cout << "Writing a register of " << rows << " insured persons to " << folder << " ..." << std::flush;
    writeRegister(folder, rows, password);
    writeAliases();
    std::ofstream(stamp) << kFormat << "\n";
    std::cout << " " << static_cast<long>(millisecondsSince(start)) << " ms\n";
    return folder;
}

void report(const char* what, double value, const char* unit, double budget) {
    std::printf("%-44s %10.2f %-3s  (budget %g %s: %s)\n", what, value, unit, budget, unit,
                value <= budget ? "met" : "EXCEEDED");
}

constexpr const char* kUsage = "Usage: pelmarot_paradox_bench [ROWS]\n"
                               "Writes a register of ROWS insured persons (default 2000000) and 1,000 doctors\n"
                               "as Paradox tables under the build tree, once, and prints the paradox driver's\n"
                               "reload times and index memory against their budgets.\n"
                               "  -h, --help  this text\n";

// The row count of the command line; nullopt after printing the usage (or, with a usage error, a message).
// `status` is the exit status then: 0 for --help (1 when it cannot be written), 2 for bad usage.
std::optional<long> rowsFromCommandLine(int argc, char** argv, int& status) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty())
        return 2'000'000;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        // The usage that cannot be written is a failure.
        status = std::fputs(kUsage, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
        return std::nullopt;
    }
    long rows = 0;
    const std::string_view text = args[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rows);
    if (args.size() == 1 && error == std::errc() && end == text.data() + text.size() && rows > 0)
        return rows;
    const std::string message = args.size() > 1
                                    ? "too many arguments"
                                    : "the row count must be a positive whole number, not '" + std::string(text) + "'";
    std::fprintf(stderr, "pelmarot_paradox_bench: %s\nTry 'pelmarot_paradox_bench --help' for more information.\n",
                 message.c_str());
    status = 2;
    return std::nullopt;
}

std::vector<fs::path> tableFiles(const fs::path& folder) {
    std::vector<fs::path> tables;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".DB")
            tables.push_back(entry.path());
    return tables;
}

// Writes the file's pages to the disk and asks the kernel to drop them from the page cache; false when it
// cannot.
bool dropFileFromPageCache(const fs::path& file) {
    const files::FileDescriptor fd(::open(file.c_str(), O_RDONLY));
    return fd.valid() && ::fsync(fd.get()) == 0 && ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED) == 0;
}

// A read-only map of a whole file, unmapped when it goes; holding it reads nothing.
class FileMap {
public:
    explicit FileMap(const fs::path& file) : size_(fs::file_size(file)) {
        const files::FileDescriptor fd(::open(file.c_str(), O_RDONLY));
        if (fd.valid() && size_ > 0)
            address_ = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd.get(), 0);
    }
    ~FileMap() {
        if (valid())
            ::munmap(address_, size_);
    }
    FileMap(const FileMap&) = delete;
    FileMap& operator=(const FileMap&) = delete;

    bool valid() const { return address_ != MAP_FAILED; }
    void* address() const { return address_; }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    void* address_ = MAP_FAILED;
};

// The share of the file's pages in the page cache (mincore); nullopt when it cannot be told.
std::optional<double> cachedShare(const fs::path& file) {
    const FileMap map(file);
    if (!map.valid())
        return std::nullopt;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((map.size() + page - 1) / page);
    if (::mincore(map.address(), map.size(), resident.data()) != 0)
        return std::nullopt;
    const auto cached = std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; });
    return static_cast<double>(cached) / static_cast<double>(resident.size());
}

// Asks the kernel to drop the clean pages of every file; the reason when it is not permitted, else empty.
std::string dropWholePageCache() {
    ::sync();
    const files::FileDescriptor fd(::open("/proc/sys/vm/drop_caches", O_WRONLY));
    if (fd.valid() && ::write(fd.get(), "1", 1) == 1)
        return {};
    return std::strerror(errno);
}

// Drops the register's tables from the page cache, so that a first reload reads them from the disk:
// posix_fadvise on each table and, when `wholeCacheToo`, /proc/sys/vm/drop_caches where permitted. Returns how,
// and the share of the tables' pages still cached afterwards.
std::string dropTablesFromPageCache(const fs::path& folder, bool wholeCacheToo) {
    bool advised = true;
    for (const auto& table : tableFiles(folder))
        advised = dropFileFromPageCache(table) && advised;
    std::string how =
        advised ? "dropped by posix_fadvise(DONTNEED) on each table" : "posix_fadvise(DONTNEED) FAILED on a table";
    if (wholeCacheToo) {
        const std::string refused = dropWholePageCache();
        how += refused.empty() ? " and by /proc/sys/vm/drop_caches"
                               : "; /proc/sys/vm/drop_caches could not be written (" + refused + ")";
    }
    std::optional<double> cached = 0.0;
    for (const auto& table : tableFiles(folder)) {
        const std::optional<double> share = cachedShare(table);
        cached = share && cached ? std::optional(std::max(*cached, *share)) : std::nullopt;
    }
    char after[96];
    if (cached)
        std::snprintf(after, sizeof after, "; afterwards at most %.0f%% of a table's pages were cached", *cached * 100);
    else
        std::snprintf(after, sizeof after, "; whether pages stayed cached cannot be told");
    return how + after;
}

struct FirstReloads {
    std::vector<double> ms;
    int rows = 0;               // of the first
    long residentGrowthKiB = 0; // over the first
    std::vector<std::string> cacheDrops;
};

// Reloads on connections of their own (so that each builds the index anew), each after the tables were
// dropped from the page cache.
FirstReloads measureFirstReloads(const fs::path& folder, const std::vector<std::string>& codes, int count) {
    FirstReloads first;
    for (int i = 0; i < count; ++i) {
        first.cacheDrops.push_back(dropTablesFromPageCache(folder, i == 0));
        data::Connection connection;
        connection.open();
        data::InsuredList list(connection);
        const long residentBefore = residentKilobytes();
        const auto start = Clock::now();
        list.reload(codes[codes.size() * static_cast<std::size_t>(i) / static_cast<std::size_t>(count)]);
        first.ms.push_back(millisecondsSince(start));
        if (i == 0) {
            first.residentGrowthKiB = residentKilobytes() - residentBefore;
            first.rows = list.recordCount();
        }
    }
    return first;
}

struct LaterReloads {
    std::vector<double> ms;
    long rows = 0;
};

// One reload of each of `count` different doctors, on a connection whose index was built beforehand.
LaterReloads measureLaterReloads(std::vector<std::string> codes, std::size_t count) {
    data::Connection connection;
    connection.open();
    data::InsuredList list(connection);
    list.reload(codes.front());
    std::shuffle(codes.begin(), codes.end(), std::mt19937(7));
    codes.resize(std::min(count, codes.size()));
    LaterReloads later;
    for (const std::string& code : codes) {
        const auto start = Clock::now();
        list.reload(code);
        later.ms.push_back(millisecondsSince(start));
        later.rows += list.recordCount();
    }
    return later;
}

std::vector<std::string> activeDoctorCodes(double& openMs) {
    data::Connection connection;
    connection.open();
    data::DoctorList doctors(connection);
    const auto start = Clock::now();
    doctors.open();
    openMs = millisecondsSince(start);
    std::vector<std::string> codes;
    for (doctors.first(); !doctors.eof(); doctors.next())
        codes.push_back(doctors.currentCode());
    return codes;
}

// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> filesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()].assign(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

// A month end of every active doctor of the register the alias file names, into `out` (emptied first), timed.
double timeMonthEnd(const fs::path& folder, const fs::path& out) {
    setenv("PELMAROT_ALIASES", (folder / "aliases.ini").c_str(), 1);
    fs::remove_all(out);
    fs::create_directories(out);
    const auto start = Clock::now();
    exportfile::MonthEnd monthEnd(data::kRegisterAlias, data::RegionalSettings::defaults());
    const exportfile::MonthEndLedger ledger = monthEnd.run(monthEnd.activeDoctorCodes(), out.string());
    for (const auto& result : ledger.results())
        if (!result.written())
            std::fprintf(stderr, "month end of %s: %s\n", folder.c_str(), result.failure.c_str());
    return millisecondsSince(start);
}

// The index of LEKAR_S built over the register's table, timed.
double timeIndexBuild(const fs::path& folder, const std::string& password) {
    engine::ParadoxPasswords passwords(password, {});
    const engine::ParadoxTable reader((folder / "Osigurenici.DB").string(), &passwords);
    const auto start = Clock::now();
    const engine::ParadoxAlphaIndex index(reader, *reader.fieldNamed("LEKAR_S"),
                                          [](std::string_view text) { return std::string(text); });
    return millisecondsSince(start);
}

// The protected register against the plain one: month ends and index builds in turns, and the files compared.
void compareProtected(const fs::path& plain, const fs::path& secret) {
    std::vector<double> plainMonthEnd, secretMonthEnd, plainIndex, secretIndex;
    const fs::path plainOut = plain / "month-end", secretOut = secret / "month-end";
    for (int round = 0; round < kProtectedRounds; ++round) {
        const bool plainFirst = round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == plainFirst) {
                plainMonthEnd.push_back(timeMonthEnd(plain, plainOut));
                plainIndex.push_back(timeIndexBuild(plain, {}));
            } else {
                secretMonthEnd.push_back(timeMonthEnd(secret, secretOut));
                secretIndex.push_back(timeIndexBuild(secret, kPassword));
            }
        }
    }
    const bool same = filesIn(plainOut) == filesIn(secretOut);
    std::printf("%-44s %10.2f s   (unprotected %.2f s)\n", "month end, protected tables, median",
                bench::median(secretMonthEnd) / 1000, bench::median(plainMonthEnd) / 1000);
    report("  protected / unprotected", bench::median(secretMonthEnd) / bench::median(plainMonthEnd), "x", 1.3);
    std::printf("%-44s %10s\n", "  files byte for byte the unprotected ones", same ? "yes" : "NO");
    std::printf("%-44s %10.2f ms  (unprotected %.2f ms)\n", "index build, protected tables, median",
                bench::median(secretIndex), bench::median(plainIndex));
    report("  protected / unprotected", bench::median(secretIndex) / bench::median(plainIndex), "x", 1.3);
    fs::remove_all(plainOut);
    fs::remove_all(secretOut);
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const std::optional<long> rows = rowsFromCommandLine(argc, argv, status);
    if (!rows)
        return status;
    const fs::path folder = cachedRegister(*rows);
    const fs::path secret = cachedRegister(*rows, kPassword);
    setenv("PELMAROT_ALIASES", (folder / "aliases.ini").c_str(), 1);

    const std::string table = (folder / "Osigurenici.DB").string();
    std::printf("Register: %ld persons, %d doctors, %s (%.0f MB)\n\n", *rows, kDoctors, table.c_str(),
                static_cast<double>(fs::file_size(table)) / 1e6);

    double doctorList = 0;
    const std::vector<std::string> codes = activeDoctorCodes(doctorList);
    const FirstReloads first = measureFirstReloads(folder, codes, kFirstReloads);
    const LaterReloads later = measureLaterReloads(codes, kLaterReloads);

    // The index the driver builds, built again here to weigh it, and a full read of every record.
    const engine::ParadoxTable reader(table);
    const auto& lekar = *reader.fieldNamed("LEKAR_S");
    auto start = Clock::now();
    const engine::ParadoxAlphaIndex index(reader, lekar, [](std::string_view text) { return std::string(text); });
    const double indexBuild = millisecondsSince(start);
    start = Clock::now();
    long scanned = 0;
    for (engine::ParadoxScan scan(reader); scan.next();)
        scanned += scan.record().isBlank(lekar) ? 0 : 1;
    const double fullScan = millisecondsSince(start);

    std::printf("%-44s %10.2f ms  (%zu doctors)\n", "doctor list (open)", doctorList, codes.size());
    for (std::size_t i = 0; i < first.cacheDrops.size(); ++i)
        std::printf("page cache before first reload %zu: %s\n", i + 1, first.cacheDrops[i].c_str());
    report("first reload of a doctor (builds the index)", first.ms.front(), "ms", 500);
    std::printf("%-44s %10d rows\n", "  rows of that doctor", first.rows);
    report("first reloads on 5 connections, median", bench::median(first.ms), "ms", 500);
    report("first reloads on 5 connections, slowest", bench::maximum(first.ms), "ms", 500);
    const std::string laterTitle = "later reloads, median (" + std::to_string(later.ms.size()) + " doctors)";
    report(laterTitle.c_str(), bench::median(later.ms), "ms", 5);
    report("later reloads, 95th percentile", bench::percentile(later.ms, 0.95), "ms", 20);
    report("later reloads, slowest", bench::maximum(later.ms), "ms", 20);
    std::printf("%-44s %10.0f rows\n", "  rows per later reload, mean",
                static_cast<double>(later.rows) / static_cast<double>(later.ms.size()));
    report("index memory (its containers)", static_cast<double>(index.memoryBytes()) / (1024.0 * 1024.0), "MiB", 64);
    std::printf("%-44s %10.1f MiB\n", "  resident memory growth over the first reload",
                static_cast<double>(first.residentGrowthKiB) / 1024.0);
    std::printf("%-44s %10.2f ms  (%zu keys)\n", "index build alone", indexBuild, index.keyCount());
    std::printf("%-44s %10.2f ms  (%.1f million records/s)\n", "full scan of every record", fullScan,
                static_cast<double>(scanned) / fullScan / 1000.0);
    compareProtected(folder, secret);
    return 0;
}

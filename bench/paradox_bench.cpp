// The paradox driver's speed on a register of 2,000,000 insured persons and 1,000 doctors written as Paradox
// tables (kept under the build tree and written again only when missing): the first reload of a doctor's
// list (which builds the index of LEKAR_S), later reloads of other doctors, the index's memory, and a full
// read of the table for comparison. Budgets: first reload 0.5 s, every later reload 20 ms, index 64 MiB.
// Usage: pelmarot_paradox_bench [rows]   (default 2000000)
#include "data/Connection.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "engine/ParadoxIndex.h"
#include "engine/ParadoxTable.h"
#include "engine/ParadoxTestWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using engine::ParadoxFieldType;

constexpr int kDoctors = 1000;
constexpr const char* kFormat = "paradox register v1";

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

// Writes Lekari.DB and Osigurenici.DB as a desk's register would hold them: Latin (MAC C) texts, 4 KiB
// blocks, persons spread evenly over the doctors in the order they were registered, 5% deregistered.
void writeRegister(const fs::path& folder, long rows) {
    fs::create_directories(folder);
    std::mt19937 generator(20261208);
    const char* surnames[] = {"Petrovski",   "Stojanovska", "Nikolovski", "Trajkovska", "Dimitrov",
                              "Georgievski", "Jovanovska",  "Ristovski",  "Angelovska", "Kostov"};
    const char* names[] = {"Ilija", "Marija", "Goran", "Elena", "Dragan", "Vesna", "Zoran", "Biljana", "Nikola"};
    {
        testsupport::ParadoxTestWriter lekari((folder / "Lekari.DB").string(),
                                              {{"LEKAR_S", ParadoxFieldType::Alpha, 6},
                                               {"PRE", ParadoxFieldType::Alpha, 30},
                                               {"IME", ParadoxFieldType::Alpha, 30},
                                               {"OPS_S", ParadoxFieldType::Alpha, 3},
                                               {"AKTIVEN", ParadoxFieldType::Logical, 1}},
                                              {.versionId = 12, .blockSizeCode = 4, .codePage = 1251});
        for (int d = 0; d < kDoctors; ++d) {
            std::string record = lekari.blankRecord();
            lekari.alpha(record, 0, doctorCode(d));
            lekari.alpha(record, 1, surnames[d % 10]);
            lekari.alpha(record, 2, names[d % 9]);
            lekari.alpha(record, 3, std::to_string(100 + d % 80));
            lekari.logical(record, 4, d % 50 != 0);
            lekari.append(record);
        }
    }
    testsupport::ParadoxTestWriter osigurenici((folder / "Osigurenici.DB").string(),
                                               {{"MB", ParadoxFieldType::Alpha, 13},
                                                {"PRE", ParadoxFieldType::Alpha, 20},
                                                {"TIME", ParadoxFieldType::Alpha, 15},
                                                {"IME", ParadoxFieldType::Alpha, 15},
                                                {"LEKAR_S", ParadoxFieldType::Alpha, 6},
                                                {"BR_PRI", ParadoxFieldType::Alpha, 8},
                                                {"UCEN_30", ParadoxFieldType::Logical, 1},
                                                {"UCEN_70", ParadoxFieldType::Logical, 1},
                                                {"DATA_PRI", ParadoxFieldType::Date, 4},
                                                {"BR_ODJ", ParadoxFieldType::Alpha, 8}},
                                               {.versionId = 12, .blockSizeCode = 4, .codePage = 1251});
    const engine::DayNumber firstDay = engine::dayNumberOf(1995, 1, 1);
    for (long i = 0; i < rows; ++i) {
        std::string record = osigurenici.blankRecord();
        char mb[16];
        std::snprintf(mb, sizeof mb, "%013ld", 1000000000000L + i * 7919 % 8999999999999L);
        osigurenici.alpha(record, 0, mb);
        osigurenici.alpha(record, 1, surnames[generator() % 10]);
        osigurenici.alpha(record, 2, names[generator() % 9]);
        osigurenici.alpha(record, 3, names[generator() % 9]);
        osigurenici.alpha(record, 4, doctorCode(static_cast<int>(generator() % kDoctors)));
        osigurenici.alpha(record, 5, std::to_string(10000 + i % 90000));
        const unsigned flags = generator() % 10;
        osigurenici.logical(record, 6, flags < 2);
        osigurenici.logical(record, 7, flags == 9);
        osigurenici.date(record, 8, firstDay + static_cast<engine::DayNumber>(generator() % 10950));
        if (generator() % 20 == 0)
            osigurenici.alpha(record, 9, "O" + std::to_string(i % 100000));
        osigurenici.append(record);
    }
    osigurenici.finish();
}

fs::path cachedRegister(long rows) {
    const fs::path folder = fs::path(PELMAROT_BENCH_DATA) / ("paradox-" + std::to_string(rows));
    const fs::path stamp = folder / "FORMAT";
    std::string written;
    std::getline(std::ifstream(stamp), written);
    if (written == kFormat && fs::exists(folder / "Osigurenici.DB"))
        return folder;
    const auto start = Clock::now();
    std::cout << "Writing a register of " << rows << " insured persons to " << folder << " ..." << std::flush;
    writeRegister(folder, rows);
    std::ofstream(stamp) << kFormat << "\n";
    std::cout << " " << static_cast<long>(millisecondsSince(start)) << " ms\n";
    return folder;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

void report(const char* what, double value, const char* unit, double budget) {
    std::printf("%-44s %10.2f %-3s  (budget %g %s: %s)\n", what, value, unit, budget, unit,
                value <= budget ? "met" : "EXCEEDED");
}

} // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 2'000'000;
    const fs::path folder = cachedRegister(rows);
    const fs::path aliases = folder / "aliases.ini";
    std::ofstream(aliases) << "[kapitacija]\ndriver = paradox\npath = " << folder.string() << "\n";
    setenv("PELMAROT_ALIASES", aliases.c_str(), 1);

    const std::string table = (folder / "Osigurenici.DB").string();
    std::printf("Register: %ld persons, %d doctors, %s (%.0f MB)\n\n", rows, kDoctors, table.c_str(),
                static_cast<double>(fs::file_size(table)) / 1e6);

    data::Connection kdb;
    kdb.open();
    data::DoctorList doctors(kdb);
    auto start = Clock::now();
    doctors.open();
    const double doctorList = millisecondsSince(start);
    std::vector<std::string> codes;
    for (doctors.first(); !doctors.eof(); doctors.next())
        codes.push_back(doctors.currentCode());

    data::InsuredList list(kdb);
    const long residentBefore = residentKilobytes();
    start = Clock::now();
    list.reload(codes[codes.size() / 2]);
    std::vector<double> firstReloads{millisecondsSince(start)};
    const long residentGrowth = residentKilobytes() - residentBefore;
    const int firstRows = list.recordCount();
    // More first reloads, each on a connection of its own (so each builds the index anew).
    for (int i = 1; i < 5; ++i) {
        data::Connection fresh;
        fresh.open();
        data::InsuredList freshList(fresh);
        start = Clock::now();
        freshList.reload(codes[codes.size() * static_cast<std::size_t>(i) / 5]);
        firstReloads.push_back(millisecondsSince(start));
    }

    std::mt19937 generator(7);
    std::vector<double> later;
    long laterRows = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string& code = codes[generator() % codes.size()];
        start = Clock::now();
        list.reload(code);
        later.push_back(millisecondsSince(start));
        laterRows += list.recordCount();
    }

    // The index the driver builds, built again here to weigh it, and a full read of every record.
    const engine::ParadoxTable reader(table);
    const auto& lekar = *reader.fieldNamed("LEKAR_S");
    start = Clock::now();
    const engine::ParadoxAlphaIndex index(reader, lekar, [](std::string_view text) { return std::string(text); });
    const double indexBuild = millisecondsSince(start);
    start = Clock::now();
    long scanned = 0;
    for (engine::ParadoxScan scan(reader); scan.next();)
        scanned += scan.record().isBlank(lekar) ? 0 : 1;
    const double fullScan = millisecondsSince(start);

    std::printf("%-44s %10.2f ms  (%zu doctors)\n", "doctor list (open)", doctorList, codes.size());
    report("first reload of a doctor (builds the index)", firstReloads.front(), "ms", 500);
    std::printf("%-44s %10d rows\n", "  rows of that doctor", firstRows);
    report("first reloads on 5 connections, median", percentile(firstReloads, 0.5), "ms", 500);
    report("first reloads on 5 connections, slowest", *std::max_element(firstReloads.begin(), firstReloads.end()), "ms",
           500);
    report("later reloads, median (300 doctors)", percentile(later, 0.5), "ms", 20);
    report("later reloads, 95th percentile", percentile(later, 0.95), "ms", 20);
    report("later reloads, slowest", *std::max_element(later.begin(), later.end()), "ms", 20);
    std::printf("%-44s %10.0f rows\n", "  rows per later reload, mean", static_cast<double>(laterRows) / 300.0);
    report("index memory (its containers)", static_cast<double>(index.memoryBytes()) / (1024.0 * 1024.0), "MiB", 64);
    std::printf("%-44s %10.1f MiB\n", "  resident memory growth over the first reload",
                static_cast<double>(residentGrowth) / 1024.0);
    std::printf("%-44s %10.2f ms  (%zu keys)\n", "index build alone", indexBuild, index.keyCount());
    std::printf("%-44s %10.2f ms  (%.1f million records/s)\n", "full scan of every record", fullScan,
                static_cast<double>(scanned) / fullScan / 1000.0);
    return 0;
}

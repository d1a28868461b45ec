#pragma once

#include "export/Doctor.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace data {
class Connection;
struct RegionalSettings;
} // namespace data

namespace exportfile {

// One doctor's outcome in a month end: the file written, or why not.
struct DoctorExportResult {
    std::string code;
    bool written = false;
    std::int64_t rows = 0;
    std::string failure; // the message when !written
    // Texts of the list that the code page could not hold exactly and that the file holds transliterated,
    // one message each ("Osigurenici, MB ..., column IME: 'Hoxhë' is delivered as 'Hoxhe' (...)").
    std::vector<std::string> warnings;
};

// What the ways of one month end share: the connection with its consistent read, the doctors asked for and
// their results (by the doctors' indexes), the folder.
struct MonthEndRun {
    data::Connection& connection;
    const data::RegionalSettings& settings;
    std::string folder;
    const std::vector<Doctor>& doctors;
    const std::unordered_set<std::string>& activeCodes;
    std::vector<DoctorExportResult>& results;
    // Told of each doctor once its result is final.
    std::function<void(const DoctorExportResult&)> finished;
    // Throws when the register's files were replaced since the doctors were read.
    std::function<void()> requireSameRegister;
    // Told, while one read of the register runs, how many rows it has read and about how many it will read in
    // all (0 when unknown); the last call has the two equal.
    std::function<void(std::int64_t read, std::int64_t toRead)> rowsRead;
};

// One way of reading the lists of many doctors and writing their files, each file exactly as the window
// writes it.
class MonthEndStrategy {
public:
    virtual ~MonthEndStrategy() = default;

    // Exports the doctors at `indexes` of run.doctors, in that order, filling their results and telling
    // run.finished of each. Returns the indexes it leaves to another way, in their order.
    virtual std::vector<std::size_t> exportDoctors(MonthEndRun& run, const std::vector<std::size_t>& indexes) = 0;
};

} // namespace exportfile

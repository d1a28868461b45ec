#pragma once

#include "export/MonthEndLedger.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

namespace data {
class Connection;
struct RegionalSettings;
} // namespace data

namespace exportfile {

// What the ways of one month end share: the connection with its consistent read, the active doctors, the
// folder written into.
struct MonthEndRun {
    data::Connection& connection;
    const data::RegionalSettings& settings;
    std::string folder;
    const std::unordered_set<std::string>& activeCodes;
    // Throws RegisterReplaced when the register's files were replaced since the doctors were read.
    std::function<void()> requireSameRegister;
    // Told, while one read of the register runs, how many rows it has read and about how many it will read in
    // all (0 when unknown); the last call has the two equal. May be empty.
    std::function<void(std::int64_t read, std::int64_t toRead)> rowsRead;
};

// One way of reading the lists of many doctors and writing their files, each file exactly as the window
// writes it.
class MonthEndStrategy {
public:
    virtual ~MonthEndStrategy() = default;

    // Takes the pending doctors of the ledger that this way can export, in their order, and settles each it
    // writes or fails; the doctors it leaves stay pending for the next way. Throws only when memory or a
    // thread cannot be had (see rethrowIfFatal), having removed the files it had not finished.
    virtual void exportDoctors(MonthEndRun& run, MonthEndLedger& ledger) = 0;
};

} // namespace exportfile

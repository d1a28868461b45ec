#pragma once

#include "export/MonthEndStrategy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace exportfile {

// The month end's one read: the export files of many doctors from one read of the register
// (InsuredList::streamEveryDoctor) instead of one reload per doctor: a month end then reads the table once, in its
// stored order, where the reloads would seek to every row. Each file gets exactly the bytes writeDoctorFile writes
// after a reload: the rows come in the reload's order, through the same list, formatter and ExportFile.
//
// A doctor's lines gather in memory and go to its file in large writes; a file is created when its first
// write is due, so a process allowed few open files holds only as many as it may, and the lines of the other
// doctors wait in memory (up to a bound) until the read ends. Doctors for whom neither a file nor memory is
// left are read in a further pass over the register.
//
// The pass writes only what it can write exactly as the reload would. A doctor with a row one of whose values
// cannot be read, or with a text the code page cannot hold (whose messages name the row by its place in the
// doctor's own list), or whose file cannot be created or written, stays pending for the next way, and so does
// every doctor when the register was replaced during the read, the read fails (a damaged table, a lost file:
// the reloads tell which doctors the trouble hits) or the database cannot promise the reload's order.
class OnePass final : public MonthEndStrategy {
public:
    // The pending doctors of the ledger that one read can take, in order: each code once, active and held by the
    // code page exactly.
    static std::vector<std::size_t> doctorsTaken(const MonthEndLedger& ledger,
                                                 const std::unordered_set<std::string>& activeCodes);

    void exportDoctors(MonthEndRun& run, MonthEndLedger& ledger) override;

private:
    // Rows written for each doctor of the ledger (by its place), or nullopt for a doctor not written.
    using Outcomes = std::vector<std::optional<std::int64_t>>;

    // Reads the register once for the doctors at `places`; returns the places it could not take this time (no
    // file and no memory left for them). nullopt when the database cannot promise the reload's order.
    static std::optional<std::vector<std::size_t>> runPass(MonthEndRun& run, const MonthEndLedger& ledger,
                                                           const std::vector<std::size_t>& places, Outcomes& outcomes);
};

} // namespace exportfile

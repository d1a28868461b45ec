#pragma once

#include "export/MonthEndStrategy.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
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
// doctor's own list), or whose file cannot be created or written, is left to the caller, and so is every
// doctor when the register was replaced during the read or the database cannot promise the reload's order.
class OnePass final : public MonthEndStrategy {
public:
    // Exports the doctors at `indexes` (distinct active doctors whose codes the code page holds exactly); a read
    // that fails (a damaged table, a lost file) leaves its doctors to the caller, whose reloads tell which
    // doctors the trouble hits. Throws only when memory or a thread cannot be had (std::bad_alloc,
    // std::system_error), having removed every file it had not finished.
    std::vector<std::size_t> exportDoctors(MonthEndRun& run, const std::vector<std::size_t>& indexes) override;

    // Whether the last exportDoctors() left every doctor because the database cannot deliver each doctor's rows
    // in the order of the doctor's own list in one read.
    bool declined() const { return declined_; }

    // Rows written for each doctor of the run (by its index), or nullopt for a doctor left to another way.
    using Outcomes = std::vector<std::optional<std::int64_t>>;

private:
    // Reads the register once for the doctors at `indexes`; returns the indexes it could not take this time (no
    // file and no memory left for them). nullopt when the database cannot promise the reload's order or the
    // read failed.
    std::optional<std::vector<std::size_t>> runPass(MonthEndRun& run, const std::vector<std::size_t>& indexes,
                                                    Outcomes& outcomes);

    bool declined_ = false;
};

} // namespace exportfile

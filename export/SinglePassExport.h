#pragma once

#include "data/Connection.h"
#include "data/RegionalSettings.h"
#include "export/Doctor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace exportfile {

// Writes the export files of many doctors from one read of the register (InsuredList::streamEveryDoctor)
// instead of one reload per doctor: a month end then reads the table once, in its stored order, where the
// reloads would seek to every row. Each file gets exactly the bytes writeDoctorFile writes after a reload: the
// rows come in the reload's order, through the same list, formatter and ExportFile.
//
// A doctor's lines gather in memory and go to its file in large writes; a file is created when its first
// write is due, so a process allowed few open files holds only as many as it may, and the lines of the other
// doctors wait in memory (up to a bound) until the read ends. Doctors for whom neither a file nor memory is
// left are read in a further pass over the register.
//
// The pass writes only what it can write exactly as the reload would. A doctor with a row one of whose values
// cannot be read, or with a text the code page cannot hold (whose messages name the row by its place in the
// doctor's own list), or whose file cannot be created or written, is left to the caller, and so is every
// doctor when the register changed during the read or the database cannot promise the reload's order.
class SinglePassExport {
public:
    // Rows written for each doctor, or nullopt for a doctor the caller must export by a reload.
    using Outcomes = std::vector<std::optional<std::int64_t>>;
    // Called after the read and before any file takes its name; false when the register is no longer the
    // one the codes were read from.
    using RegisterCheck = std::function<bool()>;

    SinglePassExport(data::Connection& connection, const data::RegionalSettings& settings, std::string folder);

    // Exports `doctors` (distinct active doctors whose codes the code page holds exactly). A read that fails
    // (a damaged table, a lost file) leaves its doctors to the caller, whose reloads tell which doctors the
    // trouble hits. Throws only when memory or a thread cannot be had (std::bad_alloc, std::system_error),
    // having removed every file it had not finished.
    Outcomes run(const std::vector<Doctor>& doctors, const RegisterCheck& registerUnchanged);

private:
    struct Pass;
    // Reads the register once for the doctors at `indexes`; returns the indexes it could not take this time
    // (no file and no memory left for them). Leaves `outcomes` of failed doctors empty. nullopt when the
    // database cannot promise the reload's order or the read failed.
    std::optional<std::vector<std::size_t>> runPass(const std::vector<Doctor>& doctors,
                                                    const std::vector<std::size_t>& indexes,
                                                    const RegisterCheck& registerUnchanged, Outcomes& outcomes);

    data::Connection& connection_;
    const data::RegionalSettings& settings_;
    std::string folder_;
};

// Raises the process's limit of open files to the most it is allowed (the usual 1,024 would hold the files of
// only some 500 doctors at once) and returns how many files it may now have open.
std::size_t raiseOpenFileLimit();

} // namespace exportfile

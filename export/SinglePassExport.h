#pragma once

#include "data/Connection.h"
#include "data/RegionalSettings.h"

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

    // Exports the doctors of `codes` (distinct codes of active doctors, in the engine's code page, that the code
    // page holds exactly). The files are named by the codes in UTF-8 (`fileCodes`, in the same order). Reads
    // the register once for as many doctors as the process may have files open at once, so a register with
    // more doctors than that is read more than once. A read that fails (a damaged table, a lost file) leaves
    // its doctors to the caller, whose reloads tell which doctors the trouble hits. Never throws.
    Outcomes run(const std::vector<std::string>& codes, const std::vector<std::string>& fileCodes,
                 const RegisterCheck& registerUnchanged);

private:
    // nullopt when the database cannot promise the reload's order.
    std::optional<Outcomes> runGroup(const std::vector<std::string>& codes, const std::vector<std::string>& fileCodes,
                                     const RegisterCheck& registerUnchanged);

    data::Connection& connection_;
    const data::RegionalSettings& settings_;
    std::string folder_;
};

// Raises the process's limit of open files to the most it is allowed (the usual 1,024 would hold the files of
// only some 500 doctors at once) and returns how many files it may now have open.
std::size_t raiseOpenFileLimit();

} // namespace exportfile

#pragma once

#include "data/RegionalSettings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace exportfile {

// One doctor's outcome in a batch: the file written, or why not.
struct DoctorExportResult {
    std::string code;
    bool written = false;
    std::int64_t rows = 0;
    std::string failure; // the message when !written
    // Texts of the list that the code page could not hold exactly and that the file holds transliterated,
    // one message each ("Osigurenici, MB ..., column IME: 'Hoxhë' is delivered as 'Hoxhe' (...)").
    std::vector<std::string> warnings;
};

// Exports the lists of many doctors into one folder, each file exactly as the window writes it: the same
// doctor list and insured-person list, the same formatter and the same atomic replacement. A failure of one
// doctor is recorded and the others are still written. Many doctors are written from one read of the register
// (SinglePassExport) where the database allows it; the rest, and the doctors that read leaves over, are
// reloaded one by one by several workers, each with a connection of its own.
class BatchExport {
public:
    // Called after each doctor (from one worker at a time) with the number done so far and the total.
    using Progress = std::function<void(std::size_t done, std::size_t total, const DoctorExportResult& last)>;

    // Opens a connection through the alias to read the active doctors. Throws when it cannot connect.
    BatchExport(std::string aliasName, const data::RegionalSettings& settings, unsigned workers = 0);

    // The codes of every active doctor, in the order the doctor list delivers them.
    const std::vector<std::string>& activeDoctorCodes() const { return activeCodes_; }

    // Exports the given codes (bytes of the engine's code page) into `folder`; results in the order of the
    // codes. A code that is not an active doctor's is a failure ("unknown or inactive doctor code"), not an
    // empty file, and so is a code that the code page cannot hold exactly (it would read another doctor's
    // list into another doctor's file). The folder is first swept once of the temporary files of dead exports
    // (removeStaleExportFiles). Every list must come from the register the doctor list was read from: when its
    // files were replaced or rewritten since (Database::filesVersion), the doctor fails instead of getting a
    // file that mixes two registers. Throws only when a worker cannot connect.
    std::vector<DoctorExportResult> run(const std::vector<std::string>& codes, const std::string& folder,
                                        const Progress& progress = {});

private:
    // Exports the codes at `indexes` by reloading each doctor's list, on several workers.
    void exportEach(const std::vector<std::string>& codes, const std::vector<std::size_t>& indexes,
                    const std::string& folder, std::vector<DoctorExportResult>& results,
                    const std::function<void(const DoctorExportResult&)>& finished);

    std::string aliasName_;
    data::RegionalSettings settings_;
    unsigned workers_;
    std::vector<std::string> activeCodes_;
    // The register's files when the doctor list was read, and their name for messages.
    std::string filesVersion_;
    std::string filesName_;
    // The codes of active doctors that the code page cannot hold, with the message that says so.
    std::unordered_map<std::string, std::string> unusableCodes_;
};

} // namespace exportfile

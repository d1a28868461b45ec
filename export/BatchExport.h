#pragma once

#include "data/RegionalSettings.h"
#include "export/Doctor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace engine {
class CodePage;
}
namespace data {
class Connection;
class InsuredList;
} // namespace data

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
// doctor is recorded and the others are still written.
//
// The whole export reads one consistent state of the register (Database::beginConsistentRead) on one
// connection, from the doctor list to the last doctor's rows, while other programs go on writing it. Many
// doctors are written from one read of the register (SinglePassExport) where the database allows it; the
// rest, and the doctors that read leaves over, are reloaded one by one in that same state.
class BatchExport {
public:
    // Called after each doctor with the number done so far and the total.
    using Progress = std::function<void(std::size_t done, std::size_t total, const DoctorExportResult& last)>;

    // Connects through the alias, begins the consistent read and reads the active doctors. Throws when it
    // cannot connect or read them.
    BatchExport(std::string aliasName, const data::RegionalSettings& settings);
    ~BatchExport();
    BatchExport(const BatchExport&) = delete;
    BatchExport& operator=(const BatchExport&) = delete;

    // The code page the register's texts are delivered in.
    const engine::CodePage& codePage() const;
    // The settings the dates of the files are written with (the constructor's until changed).
    void setRegionalSettings(const data::RegionalSettings& settings) { settings_ = settings; }

    // Every active doctor, in the order the doctor list delivers them.
    const std::vector<Doctor>& activeDoctors() const { return activeDoctors_; }
    // Their codes, in the same order.
    std::vector<std::string> activeDoctorCodes() const;

    // The active doctor whose code the code page holds with these bytes (an unheld code of another doctor may
    // be delivered as the same bytes, and is no match); a doctor that run() fails as "unknown or inactive doctor
    // code" when there is none.
    Doctor doctorOf(const std::string& code) const;

    // Exports the doctors of the given codes (see doctorOf).
    std::vector<DoctorExportResult> run(const std::vector<std::string>& codes, const std::string& folder,
                                        const Progress& progress = {});

    // Exports the doctors into `folder`; results in their order. A doctor whose code the code page cannot hold
    // fails with the reason. The folder is first swept once of the temporary files of dead exports
    // (removeStaleExportFiles). When the register's files were replaced since the doctors were read
    // (Database::registerIdentity), each doctor fails instead of getting a file that mixes two registers.
    // When the consistent read is lost (a server that stopped answering), the run stops at the doctor that
    // met it: that doctor fails, and the doctors after it are neither written nor reported (see abandoned()).
    // Throws when memory or a thread cannot be had, having removed the files it had not finished.
    std::vector<DoctorExportResult> run(const std::vector<Doctor>& doctors, const std::string& folder,
                                        const Progress& progress = {});

    // Why the last run stopped before it tried every doctor; empty when it tried them all.
    const std::string& abandoned() const { return abandoned_; }

private:
    // Reloads each doctor at `indexes` of `doctors` and writes its file, one after the other.
    void exportEach(const std::vector<Doctor>& doctors, const std::vector<std::size_t>& indexes,
                    const std::string& folder, std::vector<DoctorExportResult>& results,
                    const std::function<void(const DoctorExportResult&)>& finished);
    void exportOne(const Doctor& doctor, data::InsuredList& list, const std::string& folder,
                   DoctorExportResult& result);
    bool isActive(const Doctor& doctor) const;
    // Throws when the register's files are no longer those the doctors were read from.
    void requireSameRegister() const;

    std::unique_ptr<data::Connection> connection_;
    data::RegionalSettings settings_;
    std::vector<Doctor> activeDoctors_;
    std::unordered_set<std::string> activeCodes_;
    // Whether the consistent read the constructor began is still open for the first run.
    bool reading_ = false;
    // The register's files when the doctor list was read.
    std::string registerIdentity_;
    std::string abandoned_;
};

} // namespace exportfile

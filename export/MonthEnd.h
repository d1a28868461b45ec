#pragma once

#include "data/RegionalSettings.h"
#include "engine/PasswordPrompt.h"
#include "export/Doctor.h"
#include "export/MonthEndLedger.h"

#include <cstddef>
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
} // namespace data

namespace exportfile {

// The month end: the export files of many doctors in one folder, each exactly as the window writes it (the same
// doctor list and insured-person list, the same formatter, the same atomic replacement). A failure of one doctor
// is recorded and the others are still written.
//
// The whole export reads one consistent state of the register (Database::beginConsistentRead) on one
// connection, from the doctor list to the last doctor's rows, while other programs go on writing it. It reads
// the lists in one of two ways (run() chooses): one read of the register for many doctors (OnePass), or a
// reload per doctor (ReloadEach), which also takes the doctors the one read leaves over.
class MonthEnd {
public:
    // Called after each doctor with the number done so far and the total.
    using Progress = MonthEndLedger::Told;
    // Called while one read of the register runs: the rows read so far and about how many it reads in all (the
    // same at the last call); before it, no doctor is done.
    using ReadProgress = std::function<void(std::int64_t read, std::int64_t toRead)>;

    // Which way run() reads the lists: the one it chooses (one read of the register where it exports a quarter
    // of the active doctors or more, or 64 or more; a reload each for a few), or one of them for every doctor
    // it can take (the reloads still take the doctors the one read leaves over), for comparing the two.
    enum class Way { Chosen, OnePass, ReloadEach };

    // Connects through the alias, begins the consistent read and reads the active doctors; askPassword is asked
    // for a password the alias does not give. Throws when it cannot connect or read them.
    MonthEnd(std::string aliasName, const data::RegionalSettings& settings, engine::PasswordPrompt askPassword = {});
    ~MonthEnd();
    MonthEnd(const MonthEnd&) = delete;
    MonthEnd& operator=(const MonthEnd&) = delete;

    // The code page the register's texts are delivered in.
    const engine::CodePage& codePage() const;
    // The settings the dates of the files are written with (the constructor's until changed).
    void setRegionalSettings(const data::RegionalSettings& settings) { settings_ = settings; }
    void setReadProgress(ReadProgress progress) { readProgress_ = std::move(progress); }

    // Every active doctor, in the order the doctor list delivers them.
    const std::vector<Doctor>& activeDoctors() const { return activeDoctors_; }
    // Their codes, in the same order.
    std::vector<std::string> activeDoctorCodes() const;

    // The active doctor whose code the code page holds with these bytes (an unheld code of another doctor may
    // be delivered as the same bytes, and is no match); a doctor that run() fails as "unknown or inactive doctor
    // code" when there is none.
    Doctor doctorOf(const std::string& code) const;

    // Exports the doctors of the given codes (see doctorOf).
    MonthEndLedger run(const std::vector<std::string>& codes, const std::string& folder, const Progress& progress = {},
                       Way way = Way::Chosen);

    // Exports the doctors into `folder` and returns the run's ledger, the doctors in their order: the one read
    // takes the pending doctors it can, the reloads take what remains. A doctor whose code the code page cannot
    // hold fails with the reason. The folder is first swept once of the temporary files of dead exports
    // (removeStaleExportFiles). When the register's files were replaced since the doctors were read
    // (Database::registerIdentity), each doctor fails (RegisterReplaced) instead of getting a file that mixes two
    // registers. When the consistent read is lost (a server that stopped answering), the run stops at the
    // doctor that met it: that doctor fails, and the ledger gives up on the doctors after it, which are not
    // reported one by one. Throws when memory or a thread cannot be had, having removed the files it had not
    // finished.
    MonthEndLedger run(const std::vector<Doctor>& doctors, const std::string& folder, const Progress& progress = {},
                       Way way = Way::Chosen);

private:
    // Throws RegisterReplaced when the register's files are no longer those the doctors were read from.
    void requireSameRegister() const;
    // The way Way::Chosen takes for the ledger's doctors.
    Way chosenWay(const MonthEndLedger& ledger) const;

    std::unique_ptr<data::Connection> connection_;
    data::RegionalSettings settings_;
    std::vector<Doctor> activeDoctors_;
    std::unordered_set<std::string> activeCodes_;
    // The register's files when the doctor list was read.
    std::string registerIdentity_;
    // Whether the consistent read the constructor began is still open for the first run.
    bool reading_ = false;
    ReadProgress readProgress_;
};

} // namespace exportfile

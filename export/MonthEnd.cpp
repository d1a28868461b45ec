#include "export/MonthEnd.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DoctorList.h"
#include "export/DoctorExport.h"
#include "export/OnePass.h"
#include "export/RegisterReplaced.h"
#include "export/ReloadEach.h"

#include <algorithm>
#include <stdexcept>

namespace exportfile {
namespace {

// A month end reads the whole register once where it would reload a quarter of its doctors or more; a few
// doctors are quicker read one by one.
constexpr std::size_t kOnePassDoctors = 64;
constexpr std::size_t kOnePassShare = 4;

} // namespace

MonthEnd::MonthEnd(std::string aliasName, const data::RegionalSettings& settings, engine::PasswordPrompt askPassword)
    : connection_(std::make_unique<data::Connection>(data::kConnectionName, std::move(aliasName))),
      settings_(settings) {
    connection_->setPasswordPrompt(std::move(askPassword));
    connection_->open();
    engine::Database& database = connection_->database();
    database.beginConsistentRead();
    data::DoctorList doctors(*connection_);
    doctors.open();
    activeDoctors_.reserve(static_cast<std::size_t>(doctors.recordCount()));
    const engine::CodePage& codePage = connection_->codePage();
    for (doctors.first(); !doctors.eof(); doctors.next()) {
        Doctor& doctor = activeDoctors_.emplace_back();
        doctor.code = doctors.lekar_s.asString();
        doctor.fileCode = codePage.toUtf8(doctor.code);
        try {
            doctors.currentCode();
        } catch (const data::DataError& e) {
            doctor.unheld = e.what();
        }
    }
    registerIdentity_ = database.registerIdentity();
    for (const Doctor& doctor : activeDoctors_)
        activeCodes_.insert(doctor.code);
    reading_ = true;
}

MonthEnd::~MonthEnd() = default;

const engine::CodePage& MonthEnd::codePage() const { return connection_->codePage(); }

std::vector<std::string> MonthEnd::activeDoctorCodes() const {
    std::vector<std::string> codes;
    for (const Doctor& doctor : activeDoctors_)
        codes.push_back(doctor.code);
    return codes;
}

Doctor MonthEnd::doctorOf(const std::string& code) const {
    const auto held = std::find_if(activeDoctors_.begin(), activeDoctors_.end(),
                                   [&](const Doctor& d) { return d.code == code && d.unheld.empty(); });
    return held != activeDoctors_.end() ? *held : Doctor{code, connection_->codePage().toUtf8(code), {}};
}

MonthEnd::Way MonthEnd::chosenWay(const MonthEndLedger& ledger) const {
    const std::size_t passable = OnePass::doctorsTaken(ledger, activeCodes_).size();
    return passable >= kOnePassDoctors || (passable > 0 && passable * kOnePassShare >= activeDoctors_.size())
               ? Way::OnePass
               : Way::ReloadEach;
}

MonthEndLedger MonthEnd::run(const std::vector<std::string>& codes, const std::string& folder, const Progress& progress,
                             Way way) {
    std::vector<Doctor> doctors;
    for (const std::string& code : codes)
        doctors.push_back(doctorOf(code));
    return run(doctors, folder, progress, way);
}

void MonthEnd::requireSameRegister() const {
    if (connection_->database().registerIdentity() != registerIdentity_)
        throw RegisterReplaced(
            "The register " + connection_->database().registerName() +
            " was replaced or changed by another program after the doctors were read; nothing was written for "
            "this doctor, whose list would come from another register than the doctor list. Run the export "
            "again once the register is complete");
}

MonthEndLedger MonthEnd::run(const std::vector<Doctor>& doctors, const std::string& folder, const Progress& progress,
                             Way way) {
    // A later run reads the register as it is then; a replaced register still fails every doctor.
    if (!reading_)
        connection_->database().beginConsistentRead();
    reading_ = false;
    struct EndOfRead {
        engine::Database& database;
        ~EndOfRead() { database.endConsistentRead(); }
    } endOfRead{connection_->database()};

    MonthEndLedger ledger(doctors, progress);
    MonthEndRun monthEnd{*connection_, settings_, folder, activeCodes_, [this] { requireSameRegister(); },
                         readProgress_};
    // Once for the run, before any file of it is there.
    removeStaleExportFiles(folder);
    OnePass onePass;
    ReloadEach reloads;
    std::vector<MonthEndStrategy*> ways;
    if ((way == Way::Chosen ? chosenWay(ledger) : way) == Way::OnePass)
        ways.push_back(&onePass);
    ways.push_back(&reloads);
    for (MonthEndStrategy* each : ways)
        each->exportDoctors(monthEnd, ledger);
    return ledger;
}

} // namespace exportfile

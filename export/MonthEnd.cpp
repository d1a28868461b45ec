#include "export/MonthEnd.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DoctorList.h"
#include "export/DoctorExport.h"
#include "export/OnePass.h"
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

std::vector<std::size_t> MonthEnd::onePassDoctors(const std::vector<Doctor>& doctors) const {
    std::vector<std::size_t> passable;
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = 0; i < doctors.size(); ++i)
        if (doctors[i].unheld.empty() && activeCodes_.contains(doctors[i].code) && seen.insert(doctors[i].code).second)
            passable.push_back(i);
    return passable;
}

MonthEnd::Plan MonthEnd::plan(const std::vector<Doctor>& doctors) const {
    const std::size_t passable = onePassDoctors(doctors).size();
    const std::string counted =
        std::to_string(passable) + " of " + std::to_string(activeDoctors_.size()) + " active doctors";
    if (passable >= kOnePassDoctors || (passable > 0 && passable * kOnePassShare >= activeDoctors_.size()))
        return {true, "one read of the register for " + counted};
    return {false, "a reload per doctor for " + counted + ", too few to read the whole register for"};
}

std::vector<DoctorExportResult> MonthEnd::run(const std::vector<std::string>& codes, const std::string& folder,
                                              const Progress& progress, Way way) {
    std::vector<Doctor> doctors;
    for (const std::string& code : codes)
        doctors.push_back(doctorOf(code));
    return run(doctors, folder, progress, way);
}

void MonthEnd::requireSameRegister() const {
    if (connection_->database().registerIdentity() != registerIdentity_)
        throw std::runtime_error(
            "The register " + connection_->database().registerName() +
            " was replaced or changed by another program after the doctors were read; nothing was written for "
            "this doctor, whose list would come from another register than the doctor list. Run the export "
            "again once the register is complete");
}

std::vector<DoctorExportResult> MonthEnd::run(const std::vector<Doctor>& doctors, const std::string& folder,
                                              const Progress& progress, Way way) {
    abandoned_.clear();
    // A later run reads the register as it is then; a replaced register still fails every doctor.
    if (!reading_)
        connection_->database().beginConsistentRead();
    reading_ = false;
    struct EndOfRead {
        engine::Database& database;
        ~EndOfRead() { database.endConsistentRead(); }
    } endOfRead{connection_->database()};

    std::vector<DoctorExportResult> results(doctors.size());
    std::size_t done = 0;
    MonthEndRun monthEnd{*connection_,
                         settings_,
                         folder,
                         doctors,
                         activeCodes_,
                         results,
                         [&](const DoctorExportResult& result) {
                             ++done;
                             if (progress)
                                 progress(done, doctors.size(), result);
                         },
                         [this] { requireSameRegister(); },
                         readProgress_};

    // Once for the run, before any file of it is there.
    removeStaleExportFiles(folder);
    lastPlan_ = way == Way::Chosen ? plan(doctors) : Plan{way == Way::OnePass, "asked for"};
    std::vector<std::size_t> left(doctors.size());
    for (std::size_t i = 0; i < doctors.size(); ++i)
        left[i] = i;
    if (lastPlan_.onePass) {
        OnePass onePass;
        const std::vector<std::size_t> passable = onePassDoctors(doctors);
        const std::vector<std::size_t> passLeft = onePass.exportDoctors(monthEnd, passable);
        if (onePass.declined())
            lastPlan_ = {false, "a reload per doctor: the register cannot give each doctor's rows in the order of "
                                "the doctor's list in one read"};
        std::vector<bool> written(doctors.size());
        for (const std::size_t i : passable)
            written[i] = true;
        for (const std::size_t i : passLeft)
            written[i] = false;
        std::erase_if(left, [&](std::size_t i) { return written[i]; });
    }
    ReloadEach reloads;
    reloads.exportDoctors(monthEnd, left);
    abandoned_ = reloads.abandoned();
    return results;
}

} // namespace exportfile

#include "export/BatchExport.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "export/DoctorExport.h"
#include "export/SinglePassExport.h"

#include <algorithm>
#include <unordered_set>

namespace exportfile {
namespace {

// A month end reads the whole register once where it would reload a quarter of its doctors or more; a few
// doctors are quicker read one by one.
bool worthOnePass(std::size_t doctors, std::size_t activeDoctors) {
    return doctors >= 64 || doctors * 4 >= activeDoctors;
}

} // namespace

BatchExport::BatchExport(std::string aliasName, const data::RegionalSettings& settings)
    : connection_(std::make_unique<data::Connection>(data::kConnectionName, std::move(aliasName))),
      settings_(settings) {
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

BatchExport::~BatchExport() = default;

std::vector<std::string> BatchExport::activeDoctorCodes() const {
    std::vector<std::string> codes;
    for (const Doctor& doctor : activeDoctors_)
        codes.push_back(doctor.code);
    return codes;
}

const engine::CodePage& BatchExport::codePage() const { return connection_->codePage(); }

Doctor BatchExport::doctorOf(const std::string& code) const {
    const auto held = std::find_if(activeDoctors_.begin(), activeDoctors_.end(),
                                   [&](const Doctor& d) { return d.code == code && d.unheld.empty(); });
    return held != activeDoctors_.end() ? *held : Doctor{code, connection_->codePage().toUtf8(code), {}};
}

std::vector<DoctorExportResult> BatchExport::run(const std::vector<std::string>& codes, const std::string& folder,
                                                 const Progress& progress) {
    std::vector<Doctor> doctors;
    for (const std::string& code : codes)
        doctors.push_back(doctorOf(code));
    return run(doctors, folder, progress);
}

bool BatchExport::isActive(const Doctor& doctor) const { return activeCodes_.contains(doctor.code); }

std::vector<DoctorExportResult> BatchExport::run(const std::vector<Doctor>& doctors, const std::string& folder,
                                                 const Progress& progress) {
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
    const auto finished = [&](const DoctorExportResult& result) {
        ++done;
        if (progress)
            progress(done, doctors.size(), result);
    };

    // Once for the run, before any file of it is there.
    removeStaleExportFiles(folder);
    std::vector<std::size_t> left(doctors.size());
    for (std::size_t i = 0; i < doctors.size(); ++i)
        left[i] = i;
    // The doctors one read of the register can export: each code once, active and held by the code page.
    std::vector<std::size_t> passable;
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = 0; i < doctors.size(); ++i)
        if (doctors[i].unheld.empty() && isActive(doctors[i]) && seen.insert(doctors[i].code).second)
            passable.push_back(i);
    if (!passable.empty() && worthOnePass(passable.size(), activeDoctors_.size())) {
        std::vector<Doctor> passDoctors;
        for (std::size_t i : passable)
            passDoctors.push_back(doctors[i]);
        SinglePassExport pass(*connection_, settings_, folder);
        const auto outcomes =
            pass.run(passDoctors, [&] { return connection_->database().registerIdentity() == registerIdentity_; });
        std::vector<bool> written(doctors.size());
        for (std::size_t p = 0; p < passable.size(); ++p) {
            if (!outcomes[p])
                continue;
            DoctorExportResult& result = results[passable[p]];
            result.code = doctors[passable[p]].code;
            result.written = true;
            result.rows = *outcomes[p];
            written[passable[p]] = true;
            finished(result);
        }
        std::erase_if(left, [&](std::size_t i) { return written[i]; });
    }
    exportEach(doctors, left, folder, results, finished);
    return results;
}

void BatchExport::exportEach(const std::vector<Doctor>& doctors, const std::vector<std::size_t>& indexes,
                             const std::string& folder, std::vector<DoctorExportResult>& results,
                             const std::function<void(const DoctorExportResult&)>& finished) {
    data::InsuredList list(*connection_);
    for (const std::size_t i : indexes) {
        DoctorExportResult& result = results[i];
        result.code = doctors[i].code;
        exportOne(doctors[i], list, folder, result);
        finished(result);
        // A server that stopped answering would fail every later doctor only after its own wait.
        if (!result.written) {
            abandoned_ = connection_->database().consistentReadLost();
            if (!abandoned_.empty())
                return;
        }
    }
}

void BatchExport::requireSameRegister() const {
    if (connection_->database().registerIdentity() != registerIdentity_)
        throw std::runtime_error(
            "The register " + connection_->database().registerName() +
            " was replaced or changed by another program after the doctors were read; nothing was written for "
            "this doctor, whose list would come from another register than the doctor list. Run the export "
            "again once the register is complete");
}

void BatchExport::exportOne(const Doctor& doctor, data::InsuredList& list, const std::string& folder,
                            DoctorExportResult& result) {
    try {
        if (!doctor.unheld.empty())
            throw std::runtime_error(doctor.unheld);
        if (!isActive(doctor))
            throw std::runtime_error("unknown or inactive doctor code");
        // Before the reload, whose own message would say less, and after it, for a register replaced meanwhile.
        requireSameRegister();
        list.reload(doctor.code);
        requireSameRegister();
        result.rows = list.recordCount();
        for (const data::TextLoss& loss : list.textLosses())
            result.warnings.push_back(list.describe(loss));
        // The file is named as the window names it: the code's characters in the file system's UTF-8.
        writeDoctorFile(folder, doctor.fileCode, list, settings_);
        result.written = true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::system_error&) {
        throw;
    } catch (const std::exception& e) {
        result.failure = e.what();
    }
    list.close();
}

} // namespace exportfile

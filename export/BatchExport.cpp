#include "export/BatchExport.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "export/DoctorExport.h"
#include "export/SinglePassExport.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace exportfile {

BatchExport::BatchExport(std::string aliasName, const data::RegionalSettings& settings, unsigned workers)
    : aliasName_(std::move(aliasName)), settings_(settings),
      workers_(workers ? workers : std::max(1u, std::thread::hardware_concurrency())) {
    data::Connection connection("KDB", aliasName_);
    connection.open();
    data::DoctorList doctors(connection);
    doctors.open();
    activeCodes_.reserve(static_cast<std::size_t>(doctors.recordCount()));
    for (doctors.first(); !doctors.eof(); doctors.next()) {
        activeCodes_.emplace_back(doctors.lekar_s.asString());
        try {
            doctors.currentCode();
        } catch (const data::DataError& e) {
            unusableCodes_.emplace(activeCodes_.back(), e.what());
        }
    }
    filesVersion_ = connection.database().filesVersion();
    filesName_ = connection.database().filesName();
}

namespace {

// A month end reads the whole register once where it would reload a quarter of its doctors or more; a few
// doctors are quicker read one by one.
bool worthOnePass(std::size_t doctors, std::size_t activeDoctors) {
    return doctors >= 64 || doctors * 4 >= activeDoctors;
}

} // namespace

std::vector<DoctorExportResult> BatchExport::run(const std::vector<std::string>& codes, const std::string& folder,
                                                 const Progress& progress) {
    const std::unordered_set<std::string> active(activeCodes_.begin(), activeCodes_.end());
    std::vector<DoctorExportResult> results(codes.size());
    std::mutex progressMutex;
    std::size_t done = 0;
    const auto finished = [&](const DoctorExportResult& result) {
        const std::lock_guard lock(progressMutex);
        ++done;
        if (progress)
            progress(done, codes.size(), result);
    };

    // Once for the run, before any file of it is there.
    removeStaleExportFiles(folder);
    std::vector<std::size_t> left(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        left[i] = i;
    // The doctors one read of the register can export: each code once, active and held by the code page.
    std::vector<std::size_t> passable;
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (active.contains(codes[i]) && !unusableCodes_.contains(codes[i]) && seen.insert(codes[i]).second)
            passable.push_back(i);
    if (!passable.empty() && worthOnePass(passable.size(), activeCodes_.size())) {
        data::Connection connection("KDB", aliasName_);
        connection.open();
        std::vector<std::string> passCodes, fileCodes;
        for (std::size_t i : passable) {
            passCodes.push_back(codes[i]);
            fileCodes.push_back(connection.codePage().toUtf8(codes[i]));
        }
        SinglePassExport pass(connection, settings_, folder);
        const auto outcomes =
            pass.run(passCodes, fileCodes, [&] { return connection.database().filesVersion() == filesVersion_; });
        std::vector<bool> written(codes.size());
        for (std::size_t p = 0; p < passable.size(); ++p) {
            if (!outcomes[p])
                continue;
            DoctorExportResult& result = results[passable[p]];
            result.code = codes[passable[p]];
            result.written = true;
            result.rows = *outcomes[p];
            written[passable[p]] = true;
            finished(result);
        }
        std::erase_if(left, [&](std::size_t i) { return written[i]; });
    }
    exportEach(codes, left, folder, results, finished);
    return results;
}

void BatchExport::exportEach(const std::vector<std::string>& codes, const std::vector<std::size_t>& indexes,
                             const std::string& folder, std::vector<DoctorExportResult>& results,
                             const std::function<void(const DoctorExportResult&)>& finished) {
    const std::unordered_set<std::string> active(activeCodes_.begin(), activeCodes_.end());
    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    std::exception_ptr connectFailure;
    const auto work = [&] {
        try {
            data::Connection connection("KDB", aliasName_);
            connection.open();
            const engine::CodePage& codePage = connection.codePage();
            data::InsuredList list(connection);
            for (std::size_t n = next++; n < indexes.size(); n = next++) {
                const std::size_t i = indexes[n];
                DoctorExportResult& result = results[i];
                result.code = codes[i];
                try {
                    if (!active.contains(codes[i]))
                        throw std::runtime_error("unknown or inactive doctor code");
                    if (const auto unusable = unusableCodes_.find(codes[i]); unusable != unusableCodes_.end())
                        throw std::runtime_error(unusable->second);
                    list.reload(codes[i]);
                    // A file's time only moves on: the same files now means the same files throughout the read.
                    if (connection.database().filesVersion() != filesVersion_)
                        throw std::runtime_error(
                            "The register " + filesName_ +
                            " was replaced or changed by another program after the doctors were read; nothing was "
                            "written for this doctor, whose list would come from another register than the "
                            "doctor list. Run the export again once the register is complete");
                    result.rows = list.recordCount();
                    for (const data::TextLoss& loss : list.textLosses())
                        result.warnings.push_back(list.describe(loss));
                    // The file is named as the window names it: the code's characters in the file system's UTF-8.
                    writeDoctorFile(folder, codePage.toUtf8(codes[i]), list, settings_);
                    result.written = true;
                } catch (const std::exception& e) {
                    result.failure = e.what();
                }
                finished(result);
            }
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            if (!connectFailure)
                connectFailure = std::current_exception();
        }
    };

    if (indexes.empty())
        return;
    const unsigned count = std::min<unsigned>(workers_, static_cast<unsigned>(indexes.size()));
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < count; ++t)
        threads.emplace_back(work);
    work();
    for (auto& thread : threads)
        thread.join();
    if (connectFailure)
        std::rethrow_exception(connectFailure);
}

} // namespace exportfile

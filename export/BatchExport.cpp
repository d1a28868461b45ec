#include "export/BatchExport.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DoctorList.h"
#include "data/InsuredList.h"
#include "export/DoctorExport.h"

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

std::vector<DoctorExportResult> BatchExport::run(const std::vector<std::string>& codes, const std::string& folder,
                                                 const Progress& progress) {
    const std::unordered_set<std::string> active(activeCodes_.begin(), activeCodes_.end());
    std::vector<DoctorExportResult> results(codes.size());
    std::atomic<std::size_t> nextIndex{0};
    std::mutex progressMutex;
    std::size_t done = 0;
    std::exception_ptr connectFailure;

    // Once for the run, before any worker has a temporary file there.
    removeStaleExportFiles(folder);
    const auto work = [&] {
        try {
            data::Connection connection("KDB", aliasName_);
            connection.open();
            const engine::CodePage& codePage = connection.codePage();
            data::InsuredList list(connection);
            for (std::size_t i = nextIndex++; i < codes.size(); i = nextIndex++) {
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
                const std::lock_guard lock(progressMutex);
                ++done;
                if (progress)
                    progress(done, codes.size(), result);
            }
        } catch (...) {
            const std::lock_guard lock(progressMutex);
            if (!connectFailure)
                connectFailure = std::current_exception();
        }
    };

    const unsigned count = std::min<unsigned>(workers_, static_cast<unsigned>(std::max<std::size_t>(1, codes.size())));
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < count; ++t)
        threads.emplace_back(work);
    work();
    for (auto& thread : threads)
        thread.join();
    if (connectFailure)
        std::rethrow_exception(connectFailure);
    return results;
}

} // namespace exportfile

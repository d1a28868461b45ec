#include "export/SinglePassExport.h"

#include "data/InsuredList.h"
#include "export/DoctorExport.h"
#include "export/ExportFormat.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unordered_map>

namespace exportfile {
namespace {

// Files a group leaves to the rest of the process: the register, the support log, a connection's sockets.
constexpr std::size_t kSpareFiles = 64;
// Each doctor's file holds two descriptors while it is written: the file and its folder.
constexpr std::size_t kFilesPerDoctor = 2;
// The lines gathered for all the doctors of a group together before they are written: the heap the pass
// needs does not grow with the register. Each doctor's lines go to its file once they reach this much divided
// by the number of doctors, but at least kSmallestWrite.
constexpr std::size_t kGatheredBytes = 32 * 1024 * 1024;
constexpr std::size_t kSmallestWrite = 4 * 1024;
constexpr std::size_t kLargestWrite = 64 * 1024;
constexpr std::size_t kRoomForALine = 512;

// Doctor codes are a few bytes, and every row of the register looks one up: FNV-1a is quicker than the library's
// hash for texts this short.
struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        std::uint64_t hash = 14695981039346656037ULL;
        for (const char c : text)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        return static_cast<std::size_t>(hash);
    }
};

// One doctor's file while the pass writes it.
struct DoctorFile {
    std::unique_ptr<ExportFile> file; // null once the doctor is left to the caller
    std::string lines;                // gathered, not yet written
    std::int64_t rows = 0;

    void leaveToCaller() {
        file.reset();
        lines = std::string();
    }

    void writeGathered() {
        try {
            file->write(lines);
            lines.clear();
        } catch (const ExportError&) {
            leaveToCaller();
        }
    }
};

// Threads that finish files at once: a sync waits for the medium, and so may a rename over an earlier export,
// which frees that file's blocks; several in flight keep the medium busy.
constexpr unsigned kFinishers = 16;

// Runs finish(i) for every index of `files` whose doctor is still written, on several threads.
template <typename Finish>
void finishEach(std::vector<DoctorFile>& files, const Finish& finish) {
    std::atomic<std::size_t> next{0};
    const auto finishNext = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++)
            if (files[i].file)
                finish(i);
    };
    std::vector<std::thread> finishers;
    for (unsigned t = 1; t < kFinishers && t < files.size(); ++t)
        finishers.emplace_back(finishNext);
    finishNext();
    for (auto& finisher : finishers)
        finisher.join();
}

// Writes what each doctor's file still gathers, makes the data of all the files durable, gives each file its
// name and syncs the folder once for all the names. Where the file system allows, one sync of it writes all the
// files with one wait for the medium; elsewhere each file is synced before its rename. A file that cannot be
// finished is left to the caller, and so is every file when the file system or the folder cannot be synced.
void commitAll(FolderSync& folder, std::vector<DoctorFile>& files, SinglePassExport::Outcomes& outcomes) {
    for (DoctorFile& doctor : files)
        if (doctor.file && !doctor.lines.empty())
            doctor.writeGathered();
    const bool syncedAtOnce = folder.syncWritesEveryFile();
    try {
        if (syncedAtOnce)
            folder.syncFileSystem();
    } catch (const ExportError&) {
        return;
    }
    finishEach(files, [&](std::size_t i) {
        DoctorFile& doctor = files[i];
        try {
            if (syncedAtOnce)
                doctor.file->commitSyncedElsewhere();
            else
                doctor.file->commitKeepingFolderUnsynced();
            outcomes[i] = doctor.rows;
        } catch (const ExportError&) {
        }
        doctor.leaveToCaller();
    });
    try {
        folder.syncNames();
    } catch (const ExportError&) {
        std::fill(outcomes.begin(), outcomes.end(), std::nullopt);
    }
}

} // namespace

std::size_t raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::size_t{1} << 20 : static_cast<std::size_t>(limit.rlim_cur);
}

SinglePassExport::SinglePassExport(data::Connection& connection, const data::RegionalSettings& settings,
                                   std::string folder)
    : connection_(connection), settings_(settings), folder_(std::move(folder)) {}

SinglePassExport::Outcomes SinglePassExport::run(const std::vector<std::string>& codes,
                                                 const std::vector<std::string>& fileCodes,
                                                 const RegisterCheck& registerUnchanged) {
    const std::size_t openFiles = raiseOpenFileLimit();
    const std::size_t groupSize =
        std::max<std::size_t>(1, (openFiles > kSpareFiles ? openFiles - kSpareFiles : 0) / kFilesPerDoctor);
    Outcomes outcomes(codes.size());
    for (std::size_t begin = 0; begin < codes.size(); begin += groupSize) {
        const std::size_t end = std::min(codes.size(), begin + groupSize);
        std::optional<Outcomes> group;
        try {
            group = runGroup({codes.begin() + begin, codes.begin() + end},
                             {fileCodes.begin() + begin, fileCodes.begin() + end}, registerUnchanged);
        } catch (const std::exception&) {
            // The reloads will meet the same trouble and say which doctor it hits.
        }
        if (!group)
            break;
        std::copy(group->begin(), group->end(), outcomes.begin() + static_cast<std::ptrdiff_t>(begin));
    }
    return outcomes;
}

std::optional<SinglePassExport::Outcomes> SinglePassExport::runGroup(const std::vector<std::string>& codes,
                                                                     const std::vector<std::string>& fileCodes,
                                                                     const RegisterCheck& registerUnchanged) {
    FolderSync folder(folder_);
    std::vector<DoctorFile> files(codes.size());
    std::unordered_map<std::string_view, DoctorFile*, CodeHash> byCode;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        byCode.emplace(codes[i], &files[i]);
        try {
            files[i].file = createDoctorFile(folder_, fileCodes[i]);
            ExportLines::appendHead(files[i].lines);
        } catch (const ExportError&) {
            files[i].leaveToCaller();
        }
    }
    const std::size_t writeAt =
        std::clamp(kGatheredBytes / std::max<std::size_t>(1, codes.size()), kSmallestWrite, kLargestWrite);
    // Room for the lines up to the write and the line that passes it, so no buffer doubles beyond that.
    for (DoctorFile& doctor : files)
        if (doctor.file)
            doctor.lines.reserve(writeAt + kRoomForALine);

    data::InsuredList list(connection_);
    ExportLines lines(settings_);
    const bool read = list.streamEveryDoctor([&](bool wholeRow) {
        // A blank code, or one the code page cannot hold exactly, is no doctor's.
        const int row = list.recNo();
        if (list.LEKAR_S.isNull() || list.textLossOf(row, list.LEKAR_S) != nullptr)
            return;
        const auto found = byCode.find(list.LEKAR_S.asString());
        if (found == byCode.end() || !found->second->file)
            return;
        DoctorFile& doctor = *found->second;
        if (!wholeRow || list.hasTextLoss(row)) {
            doctor.leaveToCaller();
            return;
        }
        lines.appendRow(doctor.lines, list);
        ++doctor.rows;
        if (doctor.lines.size() >= writeAt)
            doctor.writeGathered();
    });

    if (!read)
        return std::nullopt;
    Outcomes outcomes(codes.size());
    if (!registerUnchanged())
        return outcomes;
    commitAll(folder, files, outcomes);
    return outcomes;
}

} // namespace exportfile

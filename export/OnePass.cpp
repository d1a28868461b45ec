#include "export/OnePass.h"
#include "export/OpenFiles.h"

#include "data/Connection.h"

#include "data/InsuredList.h"
#include "export/DoctorExport.h"
#include "export/ExportFormat.h"
#include "files/AtomicBatch.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <system_error>
#include <unordered_map>

namespace exportfile {
namespace {

// Descriptors a pass leaves to the rest of the process beyond those open when it starts: a statement's
// journal, a sweep, a finisher's folder.
constexpr std::size_t kSpareFiles = 8;
// Each doctor's file holds two descriptors while it is written: the file and its folder.
constexpr std::size_t kFilesPerDoctor = 2;
// The lines gathered for all the doctors of a pass together before they are written: the heap the pass
// needs does not grow with the register. Each doctor's lines go to its file once they reach this much divided
// by the number of doctors, but at least kSmallestWrite.
constexpr std::size_t kGatheredBytes = 32 * 1024 * 1024;
constexpr std::size_t kSmallestWrite = 4 * 1024;
constexpr std::size_t kLargestWrite = 64 * 1024;
constexpr std::size_t kRoomForALine = 512;
// A read's progress is told every 65,536 rows.
constexpr std::int64_t kRowsBetweenProgress = (1 << 16) - 1;
// The lines that may wait in memory, in all, for doctors who could not have a file open while the register
// was read; a doctor whose lines would pass it is read again in a further pass.
constexpr std::size_t kWaitingBytes = 64 * 1024 * 1024;

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

// The descriptors the process has open now.
std::size_t openDescriptors() {
    std::error_code ec;
    std::size_t count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count > 0 ? count - 1 : 0; // less the iterator's own
}

// One doctor's file while the pass writes it.
struct DoctorFile {
    enum class State { Writing, Finished, LeftToCaller, NextPass };

    const Doctor* doctor = nullptr;
    std::unique_ptr<ExportFile> file; // created when its first write is due
    std::string lines;                // gathered, not yet written
    std::int64_t rows = 0;
    State state = State::Writing;

    bool writing() const { return state == State::Writing; }

    void drop(State why) {
        file.reset();
        lines = std::string();
        rows = 0;
        state = why;
    }

    void writeGathered() {
        try {
            file->write(lines);
            lines.clear();
        } catch (const ExportError&) {
            drop(State::LeftToCaller);
        }
    }
};

// Makes the data of a batch of written files durable and gives each its name (files::AtomicBatch). A file that
// cannot be finished is left to the caller, and so is every file of the batch when the file system cannot be
// synced.
void commitBatch(files::AtomicBatch& folder, const std::vector<DoctorFile*>& batch, OnePass::Outcomes& outcomes,
                 const std::vector<DoctorFile>& files) {
    std::vector<files::AtomicFile*> atomicFiles;
    for (DoctorFile* doctor : batch)
        atomicFiles.push_back(&doctor->file->atomicFile());
    const std::vector<bool> committed = folder.commit(atomicFiles);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        DoctorFile& doctor = *batch[i];
        if (!committed[i]) {
            doctor.drop(DoctorFile::State::LeftToCaller);
            continue;
        }
        outcomes[static_cast<std::size_t>(&doctor - files.data())] = doctor.rows;
        doctor.file.reset();
        doctor.lines = std::string();
        doctor.state = DoctorFile::State::Finished;
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

std::vector<std::size_t> OnePass::exportDoctors(MonthEndRun& run, const std::vector<std::size_t>& indexes) {
    declined_ = false;
    Outcomes outcomes(run.doctors.size());
    std::vector<std::size_t> left = indexes;
    while (!left.empty()) {
        std::optional<std::vector<std::size_t>> deferred;
        try {
            deferred = runPass(run, left, outcomes);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::system_error&) {
            throw;
        } catch (const std::exception&) {
            // The reloads will meet the same trouble and say which doctor it hits.
        }
        // A pass that took no doctor would take none the next time either.
        if (!deferred || deferred->size() == left.size())
            break;
        left = std::move(*deferred);
    }
    std::vector<std::size_t> leftOver;
    for (const std::size_t i : indexes) {
        if (!outcomes[i]) {
            leftOver.push_back(i);
            continue;
        }
        DoctorExportResult& result = run.results[i];
        result.code = run.doctors[i].code;
        result.written = true;
        result.rows = *outcomes[i];
        run.finished(result);
    }
    return leftOver;
}

std::optional<std::vector<std::size_t>> OnePass::runPass(MonthEndRun& run, const std::vector<std::size_t>& indexes,
                                                         Outcomes& outcomes) {
    files::AtomicBatch folder(run.folder);
    const std::size_t limit = raiseOpenFileLimit();
    const std::size_t inUse = openDescriptors() + kSpareFiles;
    const std::size_t filesAllowed = std::max<std::size_t>(1, (limit > inUse ? limit - inUse : 0) / kFilesPerDoctor);
    std::size_t filesOpen = 0;
    std::size_t waitingBytes = 0; // of the doctors without a file

    std::vector<DoctorFile> files(indexes.size());
    std::unordered_map<std::string_view, DoctorFile*, CodeHash> byCode;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        files[i].doctor = &run.doctors[indexes[i]];
        byCode.emplace(files[i].doctor->code, &files[i]);
        ExportLines::appendHead(files[i].lines);
        waitingBytes += files[i].lines.size();
    }
    const std::size_t writeAt =
        std::clamp(kGatheredBytes / std::max<std::size_t>(1, indexes.size()), kSmallestWrite, kLargestWrite);
    const auto giveFile = [&](DoctorFile& doctor) {
        try {
            doctor.file = createDoctorFile(run.folder, doctor.doctor->fileCode);
            ++filesOpen;
        } catch (const ExportError&) {
            doctor.drop(DoctorFile::State::LeftToCaller);
        }
    };

    data::InsuredList list(run.connection);
    ExportLines lines(run.settings);
    // How far the read has come, told every so many rows.
    const std::int64_t toRead =
        run.rowsRead ? run.connection.database().estimatedRows(data::kInsuredSelection.table).value_or(0) : 0;
    std::int64_t rowsRead = 0;
    const bool read = list.streamEveryDoctor([&](bool wholeRow) {
        if (run.rowsRead && (++rowsRead & kRowsBetweenProgress) == 0)
            run.rowsRead(rowsRead, std::max(toRead, rowsRead));
        // A blank code, or one the code page cannot hold exactly, is no doctor's.
        const int row = list.recNo();
        if (list.LEKAR_S.isNull() || list.textLossOf(row, list.LEKAR_S) != nullptr)
            return;
        const auto found = byCode.find(list.LEKAR_S.asString());
        if (found == byCode.end() || !found->second->writing())
            return;
        DoctorFile& doctor = *found->second;
        if (!wholeRow || list.hasTextLoss(row)) {
            if (!doctor.file)
                waitingBytes -= doctor.lines.size();
            doctor.drop(DoctorFile::State::LeftToCaller);
            return;
        }
        const std::size_t before = doctor.lines.size();
        if (doctor.lines.capacity() < writeAt + kRoomForALine)
            doctor.lines.reserve(writeAt + kRoomForALine);
        lines.appendRow(doctor.lines, list);
        ++doctor.rows;
        if (!doctor.file)
            waitingBytes += doctor.lines.size() - before;
        if (doctor.lines.size() < writeAt)
            return;
        if (!doctor.file && filesOpen < filesAllowed) {
            waitingBytes -= doctor.lines.size();
            giveFile(doctor);
        }
        if (doctor.file) {
            doctor.writeGathered();
        } else if (doctor.writing() && waitingBytes > kWaitingBytes) {
            waitingBytes -= doctor.lines.size();
            doctor.drop(DoctorFile::State::NextPass);
        }
    });
    if (!read) {
        declined_ = true;
        return std::nullopt;
    }
    if (run.rowsRead)
        run.rowsRead(rowsRead, rowsRead);

    std::vector<std::size_t> nextPass;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].state == DoctorFile::State::NextPass)
            nextPass.push_back(indexes[i]);
    // A register replaced during the read leaves its doctors to the reloads, which say so.
    try {
        run.requireSameRegister();
    } catch (const std::runtime_error&) {
        return nextPass;
    }

    // The files of this pass by their place in `files`, so that a batch's outcomes land at the doctors' indexes.
    Outcomes passOutcomes(files.size());
    std::vector<DoctorFile*> batch;
    for (DoctorFile& doctor : files) {
        if (doctor.file && !doctor.lines.empty())
            doctor.writeGathered();
        if (doctor.file)
            batch.push_back(&doctor);
    }
    // The doctors whose lines waited for a file get theirs as the files already open are finished.
    for (DoctorFile& doctor : files) {
        if (!doctor.writing() || doctor.file)
            continue;
        if (batch.size() >= filesAllowed) {
            commitBatch(folder, batch, passOutcomes, files);
            batch.clear();
            filesOpen = 0;
        }
        giveFile(doctor);
        if (doctor.file) {
            doctor.writeGathered();
            if (doctor.file)
                batch.push_back(&doctor);
        }
    }
    commitBatch(folder, batch, passOutcomes, files);
    try {
        folder.syncNames();
    } catch (const ExportError&) {
        return nextPass;
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        outcomes[indexes[i]] = passOutcomes[i];
    return nextPass;
}

} // namespace exportfile

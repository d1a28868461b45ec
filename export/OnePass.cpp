#include "export/OnePass.h"

#include "data/Connection.h"
#include "data/InsuredList.h"
#include "export/DoctorExport.h"
#include "export/ExportFormat.h"
#include "export/FatalErrors.h"
#include "export/RegisterReplaced.h"
#include "files/AtomicBatch.h"
#include "files/Fnv1a.h"
#include "files/OpenFileLimit.h"

#include <algorithm>
#include <memory>
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

// Doctor codes are a few bytes, and every row of the register looks one up.
struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return static_cast<std::size_t>(files::fnv1a(text)); }
};

// What one pass may hold at once: files open, and lines waiting in memory for the doctors without one.
class PassBudget {
public:
    PassBudget() {
        const std::size_t limit = files::openFileLimit();
        const std::size_t inUse = files::openDescriptors() + kSpareFiles;
        filesAllowed_ = std::max<std::size_t>(1, (limit > inUse ? limit - inUse : 0) / kFilesPerDoctor);
    }

    std::size_t filesAllowed() const { return filesAllowed_; }
    bool fileFree() const { return filesOpen_ < filesAllowed_; }
    void fileOpened() { ++filesOpen_; }
    void filesCommitted() { filesOpen_ = 0; }

    void hold(std::size_t bytes) { waiting_ += bytes; }
    void release(std::size_t bytes) { waiting_ -= bytes; }
    bool overdrawn() const { return waiting_ > kWaitingBytes; }

private:
    std::size_t filesAllowed_ = 1;
    std::size_t filesOpen_ = 0;
    std::size_t waiting_ = 0;
};

// One doctor's file while the pass writes it. Its lines count against the budget while it has no file.
class DoctorFile {
public:
    enum class State { Writing, Finished, LeftToCaller, NextPass };

    DoctorFile(const Doctor& doctor, PassBudget& budget) : doctor_(&doctor), budget_(&budget) {
        ExportLines::appendHead(lines_);
        budget_->hold(lines_.size());
    }

    const Doctor& doctor() const { return *doctor_; }
    State state() const { return state_; }
    bool writing() const { return state_ == State::Writing; }
    bool hasFile() const { return file_ != nullptr; }
    bool hasLines() const { return !lines_.empty(); }
    std::int64_t rows() const { return rows_; }
    files::AtomicFile& atomicFile() { return file_->atomicFile(); }

    // Appends the line of the list's current row; returns whether the lines are due for their file.
    bool addRow(ExportLines& lines, const data::InsuredList& list, std::size_t writeAt) {
        const std::size_t before = lines_.size();
        if (lines_.capacity() < writeAt + kRoomForALine)
            lines_.reserve(writeAt + kRoomForALine);
        lines.appendRow(lines_, list);
        ++rows_;
        if (!file_)
            budget_->hold(lines_.size() - before);
        return lines_.size() >= writeAt;
    }

    // Creates the file; a doctor whose file cannot be created is left to the caller.
    void open(const std::string& folder) {
        try {
            file_ = createDoctorFile(folder, doctor_->fileCode);
        } catch (const files::FileError&) {
            drop(State::LeftToCaller);
            return;
        }
        budget_->release(lines_.size());
        budget_->fileOpened();
    }

    void writeGathered() {
        try {
            file_->write(lines_);
            lines_.clear();
        } catch (const files::FileError&) {
            drop(State::LeftToCaller);
        }
    }

    void drop(State why) {
        if (!file_)
            budget_->release(lines_.size());
        file_.reset();
        lines_ = std::string();
        rows_ = 0;
        state_ = why;
    }

    void committed() {
        file_.reset();
        lines_ = std::string();
        state_ = State::Finished;
    }

private:
    const Doctor* doctor_;
    PassBudget* budget_;
    std::unique_ptr<ExportFile> file_; // created when its first write is due
    std::string lines_;                // gathered, not yet written
    std::int64_t rows_ = 0;
    State state_ = State::Writing;
};

// Tells the run how far the read has come, every so many rows.
class ReadProgress {
public:
    explicit ReadProgress(MonthEndRun& run)
        : run_(run),
          toRead_(run.rowsRead ? run.connection.database().estimatedRows(data::kInsuredSelection.table).value_or(0)
                               : 0) {}

    void row() {
        if (run_.rowsRead && (++read_ & kRowsBetweenProgress) == 0)
            run_.rowsRead(read_, std::max(toRead_, read_));
    }
    void end() {
        if (run_.rowsRead)
            run_.rowsRead(read_, read_);
    }

private:
    MonthEndRun& run_;
    std::int64_t toRead_;
    std::int64_t read_ = 0;
};

// A doctor's lines are due: they go to its file, created now if the budget has a file free; else they wait in
// memory, up to the budget's bound, past which the doctor is left to a further pass.
void writeOrWait(DoctorFile& doctor, const std::string& folder, const PassBudget& budget) {
    if (!doctor.hasFile() && budget.fileFree())
        doctor.open(folder);
    if (doctor.hasFile())
        doctor.writeGathered();
    else if (doctor.writing() && budget.overdrawn())
        doctor.drop(DoctorFile::State::NextPass);
}

// Reads the register once, routing each row's line to its doctor. Returns false when the database cannot
// deliver each doctor's rows in the order of the doctor's own list.
bool readRegister(MonthEndRun& run, std::vector<DoctorFile>& files, const PassBudget& budget) {
    std::unordered_map<std::string_view, DoctorFile*, CodeHash> byCode;
    for (DoctorFile& file : files)
        byCode.emplace(file.doctor().code, &file);
    const std::size_t writeAt =
        std::clamp(kGatheredBytes / std::max<std::size_t>(1, files.size()), kSmallestWrite, kLargestWrite);
    data::InsuredList list(run.connection);
    ExportLines lines(run.settings);
    ReadProgress progress(run);
    const bool read = list.streamEveryDoctor([&](bool wholeRow) {
        progress.row();
        // A blank code, or one the code page cannot hold exactly, is no doctor's.
        const int row = list.recNo();
        if (list.LEKAR_S.isNull() || list.textLossOf(row, list.LEKAR_S) != nullptr)
            return;
        const auto found = byCode.find(list.LEKAR_S.asString());
        if (found == byCode.end() || !found->second->writing())
            return;
        DoctorFile& doctor = *found->second;
        if (!wholeRow || list.hasTextLoss(row))
            doctor.drop(DoctorFile::State::LeftToCaller);
        else if (doctor.addRow(lines, list, writeAt))
            writeOrWait(doctor, run.folder, budget);
    });
    if (read)
        progress.end();
    return read;
}

// Commits a batch of written files (files::AtomicBatch). A file that cannot be committed is left to the caller,
// and so is every file of the batch when the file system cannot be synced.
void commitBatch(files::AtomicBatch& folder, const std::vector<DoctorFile*>& batch) {
    std::vector<files::AtomicFile*> atomicFiles;
    for (DoctorFile* doctor : batch)
        atomicFiles.push_back(&doctor->atomicFile());
    const std::vector<bool> committed = folder.commit(atomicFiles);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (committed[i])
            batch[i]->committed();
        else
            batch[i]->drop(DoctorFile::State::LeftToCaller);
    }
}

// Writes what the files still gather and commits them in batches of as many files as the budget allows: the
// doctors whose lines waited for a file get theirs as the files already open are committed. Returns false when
// the folder cannot be synced, so that no new name is sure to last.
bool finishFiles(files::AtomicBatch& folder, const std::string& folderName, std::vector<DoctorFile>& files,
                 PassBudget& budget) {
    std::vector<DoctorFile*> batch;
    for (DoctorFile& doctor : files) {
        if (doctor.hasFile() && doctor.hasLines())
            doctor.writeGathered();
        if (doctor.hasFile())
            batch.push_back(&doctor);
    }
    for (DoctorFile& doctor : files) {
        if (!doctor.writing() || doctor.hasFile())
            continue;
        if (batch.size() >= budget.filesAllowed()) {
            commitBatch(folder, batch);
            batch.clear();
            budget.filesCommitted();
        }
        doctor.open(folderName);
        if (doctor.hasFile())
            doctor.writeGathered();
        if (doctor.hasFile())
            batch.push_back(&doctor);
    }
    commitBatch(folder, batch);
    try {
        folder.syncNames();
    } catch (const files::FileError&) {
        return false;
    }
    return true;
}

} // namespace

std::vector<std::size_t> OnePass::doctorsTaken(const MonthEndLedger& ledger,
                                               const std::unordered_set<std::string>& activeCodes) {
    std::vector<std::size_t> taken;
    std::unordered_set<std::string_view> seen;
    for (const std::size_t i : ledger.pending()) {
        const Doctor& doctor = ledger.doctor(i);
        if (doctor.unheld.empty() && activeCodes.contains(doctor.code) && seen.insert(doctor.code).second)
            taken.push_back(i);
    }
    return taken;
}

void OnePass::exportDoctors(MonthEndRun& run, MonthEndLedger& ledger) {
    const std::vector<std::size_t> taken = doctorsTaken(ledger, run.activeCodes);
    Outcomes outcomes(ledger.size());
    std::vector<std::size_t> left = taken;
    while (!left.empty()) {
        std::optional<std::vector<std::size_t>> deferred;
        try {
            deferred = runPass(run, ledger, left, outcomes);
        } catch (const std::exception&) {
            // The reloads will meet the same trouble and say which doctor it hits.
            rethrowIfFatal();
        }
        // A pass that took no doctor would take none the next time either.
        if (!deferred || deferred->size() == left.size())
            break;
        left = std::move(*deferred);
    }
    for (const std::size_t i : taken)
        if (outcomes[i])
            ledger.written(i, *outcomes[i]);
}

std::optional<std::vector<std::size_t>> OnePass::runPass(MonthEndRun& run, const MonthEndLedger& ledger,
                                                         const std::vector<std::size_t>& places, Outcomes& outcomes) {
    // Opened before the first byte is written, so that its one sync reports a failure to write any of them.
    files::AtomicBatch folder(run.folder);
    PassBudget budget;
    std::vector<DoctorFile> files;
    files.reserve(places.size());
    for (const std::size_t i : places)
        files.emplace_back(ledger.doctor(i), budget);
    if (!readRegister(run, files, budget))
        return std::nullopt;

    std::vector<std::size_t> nextPass;
    for (std::size_t k = 0; k < files.size(); ++k)
        if (files[k].state() == DoctorFile::State::NextPass)
            nextPass.push_back(places[k]);
    // A register replaced during the read leaves its doctors to the reloads, which say so.
    try {
        run.requireSameRegister();
    } catch (const RegisterReplaced&) {
        return nextPass;
    }
    if (finishFiles(folder, run.folder, files, budget))
        for (std::size_t k = 0; k < files.size(); ++k)
            if (files[k].state() == DoctorFile::State::Finished)
                outcomes[places[k]] = files[k].rows();
    return nextPass;
}

} // namespace exportfile

#include "files/AtomicBatch.h"

#include "files/FileError.h"
#include "files/FileSystem.h"
#include "files/Folder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace files {
namespace {

// A few commits in flight keep the medium busy.
unsigned finisherCount() { return std::clamp(2 * std::thread::hardware_concurrency(), 2u, 8u); }

// Runs finish(i) for every index below `count` on several threads. A thread that cannot start leaves its share
// to the others; what a finisher throws is rethrown once all have ended.
template <typename Finish>
void finishEach(std::size_t count, const Finish& finish) {
    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto finishNext = [&] {
        try {
            for (std::size_t i = next++; i < count; i = next++)
                finish(i);
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> finishers;
    try {
        for (unsigned t = 1; t < finisherCount() && t < count; ++t)
            finishers.emplace_back(finishNext);
    } catch (const std::system_error&) {
        // Fewer threads finish the same files.
    }
    finishNext();
    for (auto& finisher : finishers)
        finisher.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

AtomicBatch::AtomicBatch(const std::string& folder) : folder_(folderOrCurrent(folder)), fd_(openFolder(folder_)) {}

std::vector<bool> AtomicBatch::commit(const std::vector<AtomicFile*>& files) {
    const bool syncedAtOnce = fileSystem().oneSyncCoversEveryFile(fd_.get());
    if (syncedAtOnce && fileSystem().syncFileSystem(fd_.get()) != 0)
        return std::vector<bool>(files.size(), false);
    // Each thread sets its own files' flags: a std::vector<bool> packs them into shared words.
    const auto committed = std::make_unique<bool[]>(files.size());
    finishEach(files.size(), [&](std::size_t i) {
        try {
            if (syncedAtOnce)
                files[i]->takeNameAfterSync();
            else
                files[i]->commitLeavingFolderUnsynced();
            committed[i] = true;
        } catch (const FileError&) {
            committed[i] = false;
        }
    });
    return std::vector<bool>(committed.get(), committed.get() + files.size());
}

void AtomicBatch::syncNames() { syncFolderNames(fd_.get(), folder_); }

} // namespace files

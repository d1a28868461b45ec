#include "files/TemporaryFileRegistry.h"

#include "files/FileDescriptor.h"
#include "files/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace files {

TemporaryFileRegistry& TemporaryFileRegistry::instance() {
    static auto* const registry = new TemporaryFileRegistry;
    return *registry;
}

TemporaryFileRegistry::Registration TemporaryFileRegistry::create(int folderFd, std::string name, mode_t mode) {
    const std::lock_guard lock(mutex_);
    // The room for the entry is made first: once the file exists, recording it cannot fail.
    if (free_.empty()) {
        const std::size_t grown = std::max<std::size_t>(16, 2 * slots_.size());
        free_.reserve(grown);
        for (std::size_t slot = grown; slot-- > slots_.size();)
            free_.push_back(slot);
        slots_.resize(grown);
    }
    const std::size_t slot = free_.back();
    const int fd = fileSystem().openAt(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return {fd, slot};
    free_.pop_back();
    slots_[slot] = Entry{folderFd, std::move(name), true};
    return {fd, slot};
}

bool TemporaryFileRegistry::commit(std::size_t slot, const std::string& finalName) {
    int folderFd = -1;
    {
        const std::lock_guard lock(mutex_);
        folderFd = slots_[slot].folderFd;
    }
    // The file the rename replaces stays open until the mutex is released: its last close frees its blocks,
    // which on a medium that is told of freed blocks waits for the medium, and the other renames need not wait
    // behind that.
    const FileDescriptor replaced(fileSystem().openAt(folderFd, finalName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0));
    const std::lock_guard lock(mutex_);
    if (fileSystem().rename(folderFd, slots_[slot].name.c_str(), finalName.c_str()) != 0)
        return false;
    release(slot);
    return true;
}

bool TemporaryFileRegistry::commitAsNew(std::size_t slot, const std::string& finalName) {
    const std::lock_guard lock(mutex_);
    const Entry& entry = slots_[slot];
    if (fileSystem().renameNoReplace(entry.folderFd, entry.name.c_str(), finalName.c_str()) != 0)
        return false;
    release(slot);
    return true;
}

void TemporaryFileRegistry::remove(std::size_t slot) {
    const std::lock_guard lock(mutex_);
    fileSystem().unlink(slots_[slot].folderFd, slots_[slot].name.c_str());
    release(slot);
}

void TemporaryFileRegistry::forget(std::size_t slot) {
    const std::lock_guard lock(mutex_);
    release(slot);
}

std::size_t TemporaryFileRegistry::removeAllAndHold() {
    mutex_.lock(); // never unlocked: the process ends while holding it
    std::size_t removed = 0;
    for (Entry& entry : slots_) {
        if (entry.used)
            removed += fileSystem().unlink(entry.folderFd, entry.name.c_str()) == 0 ? 1 : 0;
        entry.used = false;
    }
    return removed;
}

void TemporaryFileRegistry::release(std::size_t slot) {
    slots_[slot].used = false;
    slots_[slot].name.clear();
    free_.push_back(slot);
}

} // namespace files

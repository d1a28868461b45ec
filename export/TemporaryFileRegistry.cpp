#include "export/TemporaryFileRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace exportfile {

TemporaryFileRegistry& TemporaryFileRegistry::instance() {
    static auto* const registry = new TemporaryFileRegistry;
    return *registry;
}

int TemporaryFileRegistry::create(int folderFd, const std::string& name, mode_t mode) {
    // The entry and the room for it are made first: once the file exists, recording it cannot fail.
    Entry entry{folderFd, name};
    const std::lock_guard lock(mutex_);
    entries_.reserve(entries_.size() + 1);
    const int fd = ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0)
        entries_.push_back(std::move(entry));
    return fd;
}

bool TemporaryFileRegistry::commit(int folderFd, const std::string& name, const std::string& finalName) {
    // The file the rename replaces stays open until the mutex is released: its last close frees its blocks,
    // which on a medium that is told of freed blocks waits for the medium, and the other renames need not wait
    // behind that.
    struct ClosedAtEnd {
        int fd;
        ~ClosedAtEnd() {
            if (fd >= 0)
                ::close(fd);
        }
    } const replaced{::openat(folderFd, finalName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)};
    const std::lock_guard lock(mutex_);
    if (::renameat(folderFd, name.c_str(), folderFd, finalName.c_str()) != 0)
        return false;
    erase(folderFd, name);
    return true;
}

bool TemporaryFileRegistry::commitAsNew(int folderFd, const std::string& name, const std::string& finalName) {
    const std::lock_guard lock(mutex_);
    if (::renameat2(folderFd, name.c_str(), folderFd, finalName.c_str(), RENAME_NOREPLACE) != 0)
        return false;
    erase(folderFd, name);
    return true;
}

void TemporaryFileRegistry::remove(int folderFd, const std::string& name) {
    const std::lock_guard lock(mutex_);
    ::unlinkat(folderFd, name.c_str(), 0);
    erase(folderFd, name);
}

void TemporaryFileRegistry::forget(int folderFd, const std::string& name) {
    const std::lock_guard lock(mutex_);
    erase(folderFd, name);
}

std::size_t TemporaryFileRegistry::removeAllAndHold() {
    mutex_.lock(); // never unlocked: the process ends while holding it
    std::size_t removed = 0;
    for (const Entry& entry : entries_)
        removed += ::unlinkat(entry.folderFd, entry.name.c_str(), 0) == 0 ? 1 : 0;
    entries_.clear();
    return removed;
}

void TemporaryFileRegistry::erase(int folderFd, const std::string& name) {
    std::erase_if(entries_, [&](const Entry& entry) { return entry.folderFd == folderFd && entry.name == name; });
}

} // namespace exportfile

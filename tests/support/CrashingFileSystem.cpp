#include "support/CrashingFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

CrashingFileSystem::CrashingFileSystem(std::string keepFolder, std::optional<int> crashAt, bool oneSyncCovers)
    : keepFolder_(std::move(keepFolder)), crashAt_(crashAt), oneSyncCovers_(oneSyncCovers) {}

CrashingFileSystem::~CrashingFileSystem() = default;

int CrashingFileSystem::steps() const {
    const std::lock_guard lock(mutex_);
    return steps_;
}

bool CrashingFileSystem::crashed() const {
    const std::lock_guard lock(mutex_);
    return crashAt_ && steps_ > *crashAt_;
}

bool CrashingFileSystem::step() {
    const int now = steps_++;
    if (crashAt_ && now >= *crashAt_) {
        errno = EIO;
        return false;
    }
    return true;
}

std::string CrashingFileSystem::pathOf(int fd) {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path);
    if (length <= 0)
        throw std::runtime_error("cannot read " + link);
    return std::string(path, static_cast<std::size_t>(length));
}

CrashingFileSystem::FileId CrashingFileSystem::idOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw std::runtime_error("cannot read the status of a descriptor");
    return {info.st_dev, info.st_ino};
}

// Links the regular file `name` (if there is one) into the keep folder, so that undoing the change that takes it
// away can bring it back.
std::string CrashingFileSystem::keep(int folderFd, const char* name) {
    struct stat info {};
    if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
        return {};
    const std::string kept = keepFolder_ + "/" + std::to_string(kept_++);
    if (::linkat(folderFd, name, AT_FDCWD, kept.c_str(), 0) != 0)
        throw std::runtime_error("cannot keep " + std::string(name) + " in " + keepFolder_);
    return kept;
}

int CrashingFileSystem::openAt(int folderFd, const char* name, int flags, mode_t mode) {
    if ((flags & O_CREAT) == 0)
        return files::FileSystem::openAt(folderFd, name, flags, mode);
    const std::lock_guard lock(mutex_);
    if (!step())
        return -1;
    const int fd = files::FileSystem::openAt(folderFd, name, flags, mode);
    if (fd < 0)
        return fd;
    changes_.push_back({NameChange::Kind::Create, pathOf(folderFd), name, {}, {}});
    // A description of its own: a duplicate would hold the writer's lock on after the writer ends.
    created_[idOf(fd)].fd.reset(::open(pathOf(fd).c_str(), O_WRONLY | O_CLOEXEC));
    return fd;
}

int CrashingFileSystem::changeMode(int fd, mode_t mode) {
    const std::lock_guard lock(mutex_);
    return step() ? files::FileSystem::changeMode(fd, mode) : -1;
}

ssize_t CrashingFileSystem::write(int fd, const void* bytes, size_t count) {
    const std::lock_guard lock(mutex_);
    return step() ? files::FileSystem::write(fd, bytes, count) : -1;
}

int CrashingFileSystem::syncFile(int fd) {
    const std::lock_guard lock(mutex_);
    if (!step())
        return -1;
    const int result = files::FileSystem::syncFile(fd);
    if (result != 0)
        return result;
    struct stat info {};
    ::fstat(fd, &info);
    if (S_ISDIR(info.st_mode)) {
        const std::string folder = pathOf(fd);
        std::erase_if(changes_, [&](const NameChange& change) { return change.folder == folder; });
    } else if (const auto file = created_.find(idOf(fd)); file != created_.end()) {
        file->second.synced = info.st_size;
    }
    return 0;
}

void CrashingFileSystem::syncAll() {
    changes_.clear();
    for (auto& [id, file] : created_) {
        struct stat info {};
        if (::fstat(file.fd.get(), &info) == 0)
            file.synced = info.st_size;
    }
}

int CrashingFileSystem::syncFileSystem(int fd) {
    const std::lock_guard lock(mutex_);
    if (!step())
        return -1;
    const int result = files::FileSystem::syncFileSystem(fd);
    if (result == 0)
        syncAll();
    return result;
}

bool CrashingFileSystem::oneSyncCoversEveryFile(int) { return oneSyncCovers_; }

int CrashingFileSystem::rename(int folderFd, const char* from, const char* to) {
    const std::lock_guard lock(mutex_);
    if (!step())
        return -1;
    const std::string kept = keep(folderFd, to);
    const int result = files::FileSystem::rename(folderFd, from, to);
    if (result == 0)
        changes_.push_back({NameChange::Kind::Rename, pathOf(folderFd), from, to, kept});
    return result;
}

int CrashingFileSystem::renameNoReplace(int folderFd, const char* from, const char* to) {
    const std::lock_guard lock(mutex_);
    if (!step())
        return -1;
    const int result = files::FileSystem::renameNoReplace(folderFd, from, to);
    if (result == 0)
        changes_.push_back({NameChange::Kind::Rename, pathOf(folderFd), from, to, {}});
    return result;
}

int CrashingFileSystem::unlink(int folderFd, const char* name) {
    const std::lock_guard lock(mutex_);
    if (!step())
        return -1;
    const std::string kept = keep(folderFd, name);
    const int result = files::FileSystem::unlink(folderFd, name);
    if (result == 0)
        changes_.push_back({NameChange::Kind::Remove, pathOf(folderFd), name, {}, kept});
    return result;
}

void CrashingFileSystem::restoreWhatSurvives() {
    const std::lock_guard lock(mutex_);
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
        const std::string from = change->folder + "/" + change->from;
        const std::string to = change->folder + "/" + change->to;
        bool undone = true;
        switch (change->kind) {
        case NameChange::Kind::Create:
            undone = ::unlink(from.c_str()) == 0;
            break;
        case NameChange::Kind::Rename:
            undone = ::rename(to.c_str(), from.c_str()) == 0 &&
                     (change->kept.empty() || ::link(change->kept.c_str(), to.c_str()) == 0);
            break;
        case NameChange::Kind::Remove:
            undone = change->kept.empty() || ::link(change->kept.c_str(), from.c_str()) == 0;
            break;
        }
        if (!undone)
            throw std::runtime_error("cannot undo a change of " + from);
    }
    changes_.clear();
    for (auto& [id, file] : created_) {
        if (::ftruncate(file.fd.get(), file.synced) != 0)
            throw std::runtime_error("cannot cut a file back to its synced size");
    }
    created_.clear();
}

} // namespace testsupport

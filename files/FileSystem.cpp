#include "files/FileSystem.h"

#include "files/FileError.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/vfs.h>
#include <system_error>
#include <unistd.h>

namespace files {
namespace {

FileSystem& systemFileSystem() {
    static FileSystem system;
    return system;
}

std::atomic<FileSystem*>& installed() {
    static std::atomic<FileSystem*> current{&systemFileSystem()};
    return current;
}

} // namespace

void throwFileError(const std::string& action, const std::string& path, int error) {
    throw FileError(action + " " + path + ": " + std::generic_category().message(error));
}

int FileSystem::openFolder(const char* path) { return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }
int FileSystem::openAt(int folderFd, const char* name, int flags, mode_t mode) {
    return ::openat(folderFd, name, flags, mode);
}
int FileSystem::statAt(int folderFd, const char* name, struct stat* info) {
    return ::fstatat(folderFd, name, info, AT_SYMLINK_NOFOLLOW);
}
int FileSystem::statOpen(int fd, struct stat* info) { return ::fstat(fd, info); }
int FileSystem::changeMode(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int FileSystem::lock(int fd, int operation) { return ::flock(fd, operation); }
ssize_t FileSystem::write(int fd, const void* bytes, size_t count) { return ::write(fd, bytes, count); }
int FileSystem::syncFile(int fd) { return ::fsync(fd); }
int FileSystem::syncFileSystem(int fd) { return ::syncfs(fd); }
bool FileSystem::oneSyncCoversEveryFile(int folderFd) {
    struct statfs info {};
    if (::fstatfs(folderFd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}
int FileSystem::rename(int folderFd, const char* from, const char* to) {
    return ::renameat(folderFd, from, folderFd, to);
}
int FileSystem::renameNoReplace(int folderFd, const char* from, const char* to) {
    return ::renameat2(folderFd, from, folderFd, to, RENAME_NOREPLACE);
}
int FileSystem::unlink(int folderFd, const char* name) { return ::unlinkat(folderFd, name, 0); }

FileSystem& fileSystem() { return *installed().load(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& installedNow) : previous_(installed().exchange(&installedNow)) {}

ScopedFileSystem::~ScopedFileSystem() { installed().store(previous_); }

} // namespace files

#include "files/FileSystem.h"

#include "files/FileError.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
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

int FileSystem::openAt(int folderFd, const char* name, int flags, mode_t mode) {
    return ::openat(folderFd, name, flags, mode);
}
ssize_t FileSystem::write(int fd, const void* bytes, size_t count) { return ::write(fd, bytes, count); }
int FileSystem::syncFile(int fd) { return ::fsync(fd); }
int FileSystem::syncFileSystem(int fd) { return ::syncfs(fd); }
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

#include "files/StaleTemporaryFiles.h"

#include "files/FileDescriptor.h"
#include "files/FileSystem.h"
#include "files/Folder.h"
#include "files/TemporaryName.h"

#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>

namespace files {
namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool isRegularFileNamed(int folderFd, const char* name, struct stat& info) {
    return fileSystem().statAt(folderFd, name, &info) == 0 && S_ISREG(info.st_mode);
}

// Opens a regular file for locking without following a link or waiting on a device. A temporary file made
// under a strict umask may be writable and not readable by its owner; either access serves for the lock.
int openForLock(int folderFd, const char* name) {
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = fileSystem().openAt(folderFd, name, O_RDONLY | kFlags, 0);
    return fd >= 0 ? fd : fileSystem().openAt(folderFd, name, O_WRONLY | kFlags, 0);
}

// Removes the file if it is a regular file that nobody holds locked. The lock is kept until the name is gone,
// so a writer that created the file a moment ago finds it removed once it gets the lock and draws another.
bool removeIfStale(int folderFd, const char* name) {
    struct stat named {};
    if (!isRegularFileNamed(folderFd, name, named))
        return false;
    const FileDescriptor file(openForLock(folderFd, name));
    struct stat opened {};
    if (file.get() < 0 || fileSystem().statOpen(file.get(), &opened) != 0 || !sameFile(named, opened) ||
        fileSystem().lock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // Between the look and the lock the file may have been renamed to its final name, and the name taken
    // by a new temporary file: remove the name only while it still belongs to the locked file.
    struct stat stillNamed {};
    if (!isRegularFileNamed(folderFd, name, stillNamed) || !sameFile(stillNamed, opened))
        return false;
    return fileSystem().unlink(folderFd, name) == 0;
}

} // namespace

std::size_t removeStaleTemporaryFiles(const std::string& folder, std::string_view extension) {
    FileDescriptor folderFd(fileSystem().openFolder(folderOrCurrent(folder).c_str()));
    if (!folderFd.valid())
        return 0;
    // The listing takes over the descriptor and closes it.
    const std::unique_ptr<DIR, DirectoryCloser> directory(::fdopendir(folderFd.get()));
    if (!directory)
        return 0;
    static_cast<void>(folderFd.release());
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        if (isTemporaryNameFor(entry->d_name, extension) && removeIfStale(::dirfd(directory.get()), entry->d_name))
            ++removed;
    }
    return removed;
}

} // namespace files

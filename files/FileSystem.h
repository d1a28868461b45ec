#pragma once

#include <sys/types.h>

namespace files {

// The calls through which the program writes, syncs, renames and removes the files it makes: the system's own,
// unless a test installs a file system that fails where it wants (a full disk part-way through, a sync or a
// rename that fails), in the manner of an environment with injected faults. Each call returns what the system
// call returns and sets errno as it does.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual int openAt(int folderFd, const char* name, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* bytes, size_t count);
    virtual int syncFile(int fd);
    virtual int syncFileSystem(int fd);
    // Renames within one folder, replacing a file of the final name.
    virtual int rename(int folderFd, const char* from, const char* to);
    // The same, but fails with EEXIST where the final name is taken.
    virtual int renameNoReplace(int folderFd, const char* from, const char* to);
    virtual int unlink(int folderFd, const char* name);
};

// The file system in use: the system's own unless a test installed another.
FileSystem& fileSystem();

// Installs a file system for the life of the object (a test's, that fails on purpose) and the previous one
// again afterwards. REQUIRES: no file is being written meanwhile by another thread.
class ScopedFileSystem {
public:
    explicit ScopedFileSystem(FileSystem& installed);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem&) = delete;
    ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

private:
    FileSystem* previous_;
};

} // namespace files

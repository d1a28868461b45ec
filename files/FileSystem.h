#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace files {

// Every call through which the file layer opens, examines, writes, syncs, renames and removes files and folders:
// the system's own, unless a test installs a file system that fails where it wants (a full disk part-way
// through, a sync or a rename that fails) or that forgets, as a crash would, what was not yet synced. Each call
// returns what the system call returns and sets errno as it does.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens a folder for reading its names and for syncing it.
    virtual int openFolder(const char* path);
    virtual int openAt(int folderFd, const char* name, int flags, mode_t mode);
    // The status of a name in the folder, without following a link.
    virtual int statAt(int folderFd, const char* name, struct stat* info);
    virtual int statOpen(int fd, struct stat* info);
    virtual int changeMode(int fd, mode_t mode);
    // flock() with `operation` (LOCK_EX, possibly with LOCK_NB).
    virtual int lock(int fd, int operation);
    virtual ssize_t write(int fd, const void* bytes, size_t count);
    virtual int syncFile(int fd);
    virtual int syncFileSystem(int fd);
    // Whether one syncFileSystem() of the folder's file system writes every file's data to the medium as a
    // sync of each file would: on the local file systems of Linux. A network file system may have its server
    // flush only for a file's own sync.
    virtual bool oneSyncCoversEveryFile(int folderFd);
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

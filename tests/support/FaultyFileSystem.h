#pragma once

#include "files/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <string>

namespace testsupport {

// A file system that fails where a test asks: every sync (of a file, a folder or the whole file system) with
// EIO, the rename to one final name with EIO, or the writes once a number of bytes has been written (a short
// write, then ENOSPC, as on a full disk). It answers whether one sync covers every file as it is told, so that a
// test reaches both ways of committing a batch on any file system, and counts the syncs.
class FaultyFileSystem final : public files::FileSystem {
public:
    bool failSyncs = false;
    std::string failRenameTo;
    std::atomic<long long> bytesLeft{-1}; // -1: no limit
    std::optional<bool> oneSyncCovers;    // nullopt: the system's answer
    std::atomic<int> fileSyncs{0};
    std::atomic<int> fileSystemSyncs{0};

    ssize_t write(int fd, const void* bytes, size_t count) override {
        for (long long left = bytesLeft.load(); left >= 0;) {
            if (left == 0)
                return failWith(ENOSPC);
            const long long taken = std::min(left, static_cast<long long>(count));
            if (bytesLeft.compare_exchange_weak(left, left - taken)) {
                count = static_cast<size_t>(taken);
                break;
            }
        }
        return files::FileSystem::write(fd, bytes, count);
    }
    int syncFile(int fd) override {
        ++fileSyncs;
        return failSyncs ? failWith(EIO) : files::FileSystem::syncFile(fd);
    }
    int syncFileSystem(int fd) override {
        ++fileSystemSyncs;
        return failSyncs ? failWith(EIO) : files::FileSystem::syncFileSystem(fd);
    }
    bool oneSyncCoversEveryFile(int folderFd) override {
        return oneSyncCovers ? *oneSyncCovers : files::FileSystem::oneSyncCoversEveryFile(folderFd);
    }
    int rename(int folderFd, const char* from, const char* to) override {
        return to == failRenameTo ? failWith(EIO) : files::FileSystem::rename(folderFd, from, to);
    }

private:
    static int failWith(int error) {
        errno = error;
        return -1;
    }
};

} // namespace testsupport

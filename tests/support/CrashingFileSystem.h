#pragma once

#include "files/FileDescriptor.h"
#include "files/FileSystem.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A file system that crashes, in the manner of LevelDB's fault-injection environment. It counts the steps
// that change the disk (creating a file, changing its mode, writing, syncing, renaming, removing) and at the
// chosen one "crashes": that step and every later one fails with EIO and changes nothing, as if the machine had
// stopped. restoreWhatSurvives() then brings the disk to what the machine would find on starting again: the
// data of the files created here not synced (by a sync of the file or of the whole file system) are lost, and
// the names given here (creations, renames, removals) not made durable by a sync of their folder (or of the
// whole file system) are undone, a file that a rename or a removal took away coming back. The data of a file
// are taken to be lost from its end: a writer here only appends.
class CrashingFileSystem final : public files::FileSystem {
public:
    // `keepFolder`: an empty folder on the same file system as the folders written, where the files that renames
    // and removals take away are kept (as links) until the crash brings them back. `crashAt`: the step, counted
    // from 0, that crashes; never when nullopt. `oneSyncCovers`: the answer to oneSyncCoversEveryFile().
    CrashingFileSystem(std::string keepFolder, std::optional<int> crashAt, bool oneSyncCovers);
    ~CrashingFileSystem() override;
    CrashingFileSystem(const CrashingFileSystem&) = delete;
    CrashingFileSystem& operator=(const CrashingFileSystem&) = delete;

    // The steps taken so far, the crashing one included.
    int steps() const;
    bool crashed() const;
    // REQUIRES: the writer has ended, so that no step runs meanwhile.
    void restoreWhatSurvives();

    int openAt(int folderFd, const char* name, int flags, mode_t mode) override;
    int changeMode(int fd, mode_t mode) override;
    ssize_t write(int fd, const void* bytes, size_t count) override;
    int syncFile(int fd) override;
    int syncFileSystem(int fd) override;
    bool oneSyncCoversEveryFile(int folderFd) override;
    int rename(int folderFd, const char* from, const char* to) override;
    int renameNoReplace(int folderFd, const char* from, const char* to) override;
    int unlink(int folderFd, const char* name) override;

private:
    // A change of names in a folder not yet made durable. `kept` is the link to the file the change took away
    // from `to` (a rename) or `from` (a removal), empty when there was none.
    struct NameChange {
        enum class Kind { Create, Rename, Remove } kind;
        std::string folder;
        std::string from;
        std::string to;
        std::string kept;
    };
    // A file created here: a descriptor of its own (not sharing the writer's lock) and how much of it is synced.
    struct CreatedFile {
        files::FileDescriptor fd;
        off_t synced = 0;
    };
    using FileId = std::pair<dev_t, ino_t>;

    // Whether the step may change the disk; false, with errno EIO, at and after the crash.
    bool step();
    std::string keep(int folderFd, const char* name);
    static std::string pathOf(int fd);
    static FileId idOf(int fd);
    void syncAll();

    mutable std::mutex mutex_;
    std::string keepFolder_;
    std::optional<int> crashAt_;
    bool oneSyncCovers_;
    int steps_ = 0;
    int kept_ = 0;
    std::vector<NameChange> changes_;
    std::map<FileId, CreatedFile> created_;
};

} // namespace testsupport

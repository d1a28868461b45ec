#pragma once

#include "files/FileDescriptor.h"
#include "files/FileError.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace files {

// One file of a folder that is either given whole or left as it was. The bytes go to a new, uniquely named
// temporary file in the same folder (randomTemporaryName); a commit syncs it and gives it its final name in one
// step, replacing an earlier file of that name (commit) or never (commitAsNew). Without a commit, the destructor
// removes the temporary file, so a failure leaves neither a partial file nor a damaged earlier one. Failures
// throw FileError naming the file and the system's reason.
//
// The temporary file is created and renamed through the process's TemporaryFileRegistry, so that a process
// ended by a signal can remove it, and it is held under an exclusive flock() for its whole life, so that the
// sweep of stale temporary files by another process never takes it. It has the permission bits of the file it
// will replace when that exists (a file an administrator restricted stays restricted), else 0644 less the
// umask. Every call to the file system goes through fileSystem().
class AtomicFile {
public:
    // Opens the folder ("" is the current one) and creates the temporary file in it. `fileName` must be a
    // plain name without "/" or NUL; such a name, "." or ".." throws.
    AtomicFile(const std::string& folder, const std::string& fileName);
    virtual ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Writes all the bytes, retrying after interruptions and short writes.
    void write(std::string_view bytes);

    // Syncs the file's data to the medium, renames it over the final name, closes it and syncs the folder so
    // that the new name survives a crash. No writes are allowed afterwards.
    void commit();

    // As commit(), but returns false, leaving everything as it was, when a file has taken the final name
    // meanwhile: for a file that must never replace another.
    bool commitAsNew();

    std::string finalPath() const { return pathOf(fileName_); }
    std::string temporaryPath() const { return pathOf(temporaryName_); }

private:
    friend class AtomicBatch;

    // For AtomicBatch, once one sync of the file system has written the file's data: takes the final name
    // without a sync of its own. Until the batch syncs the folder, a crash may lose the new name, never the data.
    void takeNameAfterSync();
    // For AtomicBatch: commit() without syncing the folder, which the batch syncs once for all its files.
    void commitLeavingFolderUnsynced();

    void syncData();
    void takeFinalName();
    void finished();
    void createTemporary();
    bool createTemporaryNamed(std::string name, std::optional<mode_t> replacedMode);
    std::optional<mode_t> modeOfReplacedFile() const;
    bool lockTemporary();
    void discardTemporary();
    void requireOpen(const char* action) const;
    std::string pathOf(const std::string& name) const;

    std::string folder_;
    std::string fileName_;
    std::string temporaryName_;
    FileDescriptor folderFd_;
    FileDescriptor fileFd_;
    std::size_t slot_ = 0;
    bool registered_ = false;
};

} // namespace files

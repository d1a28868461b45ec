#pragma once

#include "files/AtomicFile.h"
#include "files/FileDescriptor.h"

#include <string>
#include <vector>

namespace files {

// The commit of many AtomicFiles of one folder at once. Where one sync of the folder's file system writes every
// file's data to the medium (FileSystem::oneSyncCoversEveryFile), it syncs that once, with one wait for the
// medium where a sync of each file would wait once per file; elsewhere each file is synced before its rename.
// A few files are finished at once on several threads: a sync waits for the medium, and so may a rename over an
// earlier file, which frees that file's blocks. The folder itself is synced once, by syncNames().
class AtomicBatch {
public:
    // Opens the folder ("" is the current one). REQUIRES: created before the first byte of the batch's files is
    // written, so that the one sync reports a failure to write back any of them (Linux tells it since 5.8).
    // Throws FileError.
    explicit AtomicBatch(const std::string& folder);

    // Makes the data of each file durable and gives it its final name, replacing an earlier file of that name.
    // Returns, for each file in order, whether it took its name. A file that cannot be finished is left as it
    // was (its owner's destructor removes it), and so is every file when the file system cannot be synced.
    // REQUIRES: every file is of this batch's folder and not yet committed. A failure other than the file
    // system's (memory, ...) is rethrown once every thread has ended.
    std::vector<bool> commit(const std::vector<AtomicFile*>& files);

    // Syncs the folder, so that the names the commits gave survive a crash. Throws FileError.
    void syncNames();

private:
    std::string folder_;
    FileDescriptor fd_;
};

} // namespace files

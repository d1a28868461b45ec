#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace exportfile {

// The temporary files this process has created and neither renamed to their final names nor removed, so that
// a process ended by a signal can remove them first. Creating, renaming and removing a registered file each
// happen under one mutex together with the change to the list: whoever holds the mutex sees exactly the
// temporary files that exist, and no finished file is ever among them. Files are named by a descriptor of
// their folder (kept open by the caller while the file is registered) and a plain name in it.
class TemporaryFileRegistry {
public:
    // The one registry of the process. It is never destroyed, so a signal may still use it while the process
    // runs its exit handlers.
    static TemporaryFileRegistry& instance();

    // Creates `name` in the folder with O_EXCL (never opening a file or link that is already there), for
    // writing, with `mode` less the umask, and registers it. Returns the descriptor, or -1 with errno set.
    int create(int folderFd, const std::string& name, mode_t mode);

    // Renames the registered file over `finalName` in the same folder and forgets it. On failure the file
    // stays registered and errno is set.
    bool commit(int folderFd, const std::string& name, const std::string& finalName);

    // As commit(), but fails with EEXIST instead of replacing a file that has taken `finalName` meanwhile.
    bool commitAsNew(int folderFd, const std::string& name, const std::string& finalName);

    // Removes the registered file and forgets it.
    void remove(int folderFd, const std::string& name);

    // Forgets a registered name whose file someone else has already removed.
    void forget(int folderFd, const std::string& name);

    // Removes every registered file and returns how many it removed, keeping the mutex for good: afterwards no
    // temporary file is created or renamed any more, and every other call blocks for ever. Only for a process
    // that ends straight after.
    std::size_t removeAllAndHold();

private:
    TemporaryFileRegistry() = default;
    void erase(int folderFd, const std::string& name);

    struct Entry {
        int folderFd;
        std::string name;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_; // a handful at a time: one per worker
};

} // namespace exportfile

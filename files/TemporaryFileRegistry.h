#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace files {

// The temporary files this process has created and neither renamed to their final names nor removed, so that
// a process ended by a signal can remove them first. Creating, renaming and removing a registered file each
// happen under one mutex together with the change to the list: whoever holds the mutex sees exactly the
// temporary files that exist, and no finished file is ever among them. Files are named by a descriptor of
// their folder (kept open by the caller while the file is registered) and a plain name in it; a writer of many
// files may register thousands at once, so each registration is a slot that the later calls name, and
// every call takes the same short time however many files there are.
class TemporaryFileRegistry {
public:
    // The one registry of the process. It is never destroyed, so a signal may still use it while the process
    // runs its exit handlers.
    static TemporaryFileRegistry& instance();

    struct Registration {
        int fd = -1;          // the new file, open for writing; -1 with errno set when it was not created
        std::size_t slot = 0; // names the registration in the calls below
    };

    // Creates `name` in the folder with O_EXCL (never opening a file or link that is already there), for
    // writing, with `mode` less the umask, and registers it.
    Registration create(int folderFd, std::string name, mode_t mode);

    // Renames the registered file over `finalName` in the same folder and forgets it. On failure the file
    // stays registered and errno is set.
    bool commit(std::size_t slot, const std::string& finalName);

    // As commit(), but fails with EEXIST instead of replacing a file that has taken `finalName` meanwhile.
    bool commitAsNew(std::size_t slot, const std::string& finalName);

    // Removes the registered file and forgets it.
    void remove(std::size_t slot);

    // Forgets a registration whose file someone else has already removed.
    void forget(std::size_t slot);

    // Removes every registered file and returns how many it removed, keeping the mutex for good: afterwards no
    // temporary file is created or renamed any more, and every other call blocks for ever. Only for a process
    // that ends straight after.
    std::size_t removeAllAndHold();

private:
    TemporaryFileRegistry() = default;
    void release(std::size_t slot);

    struct Entry {
        int folderFd = -1;
        std::string name;
        bool used = false;
    };
    std::mutex mutex_;
    std::vector<Entry> slots_;
    std::vector<std::size_t> free_; // slots not in use; its capacity is that of slots_, so freeing never allocates
};

} // namespace files

#pragma once

#include "files/FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

// What identifies one state of a file on disk: when any part differs, the file was replaced or changed.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at a path now. Throws EngineError naming the path when it cannot be examined.
FileIdentity fileIdentityOf(const std::string& path);

// "device:inode:size:nanoseconds", for comparing identities as text.
std::string identityText(const FileIdentity& identity);

// What a path that exists but is no regular file is, for messages: "a folder", "a FIFO (named pipe)",
// "a socket", "a device"; "" for a regular file or a path that cannot be examined.
std::string nonRegularFileKind(const std::string& path);

// A file opened for reading, closed with the object. Reads go through pread at explicit offsets, so a file
// that another program shortens while we read gives short reads, never a crash (as a memory map would).
class ReadOnlyFile {
public:
    // Throws EngineError naming the path when the file cannot be opened or is not a regular file (saying
    // what it is instead).
    explicit ReadOnlyFile(const std::string& path);

    const std::string& path() const { return path_; }
    // The identity of the file when it was opened (its size included).
    const FileIdentity& identity() const { return identity_; }

    // Reads up to length bytes at offset and returns how many there were (fewer only at the end of the
    // file). Throws EngineError naming the path on an I/O error.
    std::size_t readUpTo(std::uint64_t offset, void* into, std::size_t length) const;
    // Reads exactly length bytes at offset; false when the file ends first.
    bool readAt(std::uint64_t offset, void* into, std::size_t length) const;

private:
    std::string path_;
    files::FileDescriptor fd_;
    FileIdentity identity_;
};

} // namespace engine

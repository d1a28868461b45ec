#include "engine/ReadOnlyFile.h"

#include "engine/EngineError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {
namespace {

FileIdentity identityOf(const struct stat& status) {
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                        static_cast<std::int64_t>(status.st_size),
                        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::string systemError() { return std::strerror(errno); }

std::string kindOf(const struct stat& status) {
    if (S_ISREG(status.st_mode))
        return {};
    if (S_ISDIR(status.st_mode))
        return "a folder";
    if (S_ISFIFO(status.st_mode))
        return "a FIFO (named pipe)";
    if (S_ISSOCK(status.st_mode))
        return "a socket";
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return "a device";
    return "not a regular file";
}

} // namespace

std::string nonRegularFileKind(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    return kindOf(status);
}

std::string identityText(const FileIdentity& identity) {
    return std::to_string(identity.device) + ":" + std::to_string(identity.inode) + ":" +
           std::to_string(identity.size) + ":" + std::to_string(identity.modifiedNanoseconds);
}

FileIdentity fileIdentityOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw EngineError("Cannot examine the file " + path + ": " + systemError());
    return identityOf(status);
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) : path_(path) {
    // Non-blocking, so that a FIFO given as a table cannot hang the open; reads of regular files ignore it.
    fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd_.valid())
        throw EngineError("Cannot open the file " + path + ": " + systemError());
    struct stat status {};
    if (::fstat(fd_.get(), &status) != 0)
        throw EngineError("Cannot examine the file " + path + ": " + systemError());
    if (const std::string kind = kindOf(status); !kind.empty())
        throw EngineError("The file " + path + " is " + kind + ", not a regular file");
    identity_ = identityOf(status);
}

std::size_t ReadOnlyFile::readUpTo(std::uint64_t offset, void* into, std::size_t length) const {
    auto* out = static_cast<unsigned char*>(into);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd_.get(), out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EngineError("Cannot read the file " + path_ + ": " + systemError());
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool ReadOnlyFile::readAt(std::uint64_t offset, void* into, std::size_t length) const {
    return readUpTo(offset, into, length) == length;
}

} // namespace engine

#include "export/ExportFile.h"

#include "export/TemporaryFileRegistry.h"
#include "export/TemporaryName.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>
#include <unistd.h>

namespace exportfile {
namespace {

[[noreturn]] void throwSystemError(const std::string& action, const std::string& path, int error) {
    throw ExportError(action + " " + path + ": " + std::generic_category().message(error));
}

// A name that stays inside the folder: not empty, not "." or "..", without "/" and without NUL (which would
// cut the name short where the system reads it).
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

constexpr int kTemporaryNameAttempts = 100;
constexpr mode_t kNewFileMode = 0644;
// A file that replaces another starts readable by its owner alone and gets the other's bits before the first
// byte is written, so that not even an empty file is more open than the one it replaces.
constexpr mode_t kReplacingFileMode = 0600;

} // namespace

ExportFile::ExportFile(const std::string& folder, const std::string& fileName)
    : folder_(folder.empty() ? "." : folder), fileName_(fileName) {
    if (!isPlainFileName(fileName_))
        throw ExportError("Cannot write into " + folder_ +
                          ": the file name is empty, \".\", \"..\" or holds \"/\" "
                          "or a NUL byte");
    folderFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0)
        throwSystemError("Cannot open the folder", folder_, errno);
    try {
        createTemporary();
    } catch (...) {
        ::close(folderFd_);
        throw;
    }
}

void ExportFile::createTemporary() {
    const std::optional<mode_t> replacedMode = modeOfReplacedFile();
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        if (createTemporaryNamed(randomTemporaryName(fileName_, random), replacedMode))
            return;
    }
    throwSystemError("Cannot create a temporary file for", finalPath(), EEXIST);
}

// Creates the temporary file under one name, locks it and gives it the replaced file's permission bits.
// Returns false, having nothing left behind, when the name is taken or a sweep removed the new file before the
// lock; the caller then draws another name.
bool ExportFile::createTemporaryNamed(std::string name, std::optional<mode_t> replacedMode) {
    // O_EXCL makes the creation fail rather than open a file (or follow a link) that someone else put there.
    fileFd_ =
        TemporaryFileRegistry::instance().create(folderFd_, name, replacedMode ? kReplacingFileMode : kNewFileMode);
    if (fileFd_ < 0) {
        if (errno == EEXIST)
            return false;
        throwSystemError("Cannot create a temporary file for", finalPath(), errno);
    }
    temporaryName_ = std::move(name);
    try {
        if (!lockTemporary()) {
            TemporaryFileRegistry::instance().forget(folderFd_, temporaryName_);
            ::close(fileFd_);
            fileFd_ = -1;
            return false;
        }
        if (replacedMode && ::fchmod(fileFd_, *replacedMode) != 0)
            throwSystemError("Cannot set the permissions of", temporaryPath(), errno);
        return true;
    } catch (...) {
        discardTemporary();
        throw;
    }
}

// The permission bits of the regular file the export will replace, or nothing when there is none (a link or a
// folder of that name is not a file whose bits could be kept).
std::optional<mode_t> ExportFile::modeOfReplacedFile() const {
    struct stat info {};
    if (::fstatat(folderFd_, fileName_.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        // A name too long for the folder names no file; creating the temporary file reports it.
        if (errno == ENOENT || errno == ENAMETOOLONG)
            return std::nullopt;
        throwSystemError("Cannot read the permissions of", finalPath(), errno);
    }
    if (!S_ISREG(info.st_mode))
        return std::nullopt;
    return info.st_mode & 0777;
}

// Takes the exclusive lock the file keeps until it is closed. A sweep removes a file only while it holds the
// same lock, so after waiting for the lock the file is either still named (and from now on safe) or already
// removed, which the count of its names tells. Returns false in the second case.
bool ExportFile::lockTemporary() {
    while (::flock(fileFd_, LOCK_EX) != 0) {
        // A file system without locks: a sweep cannot lock there either and so removes nothing.
        if (errno != EINTR)
            return true;
    }
    struct stat info {};
    if (::fstat(fileFd_, &info) != 0)
        throwSystemError("Cannot create a temporary file for", finalPath(), errno);
    return info.st_nlink > 0;
}

void ExportFile::discardTemporary() {
    TemporaryFileRegistry::instance().remove(folderFd_, temporaryName_);
    if (fileFd_ >= 0)
        ::close(fileFd_);
    fileFd_ = -1;
}

std::string ExportFile::pathOf(const std::string& name) const {
    return folder_.ends_with('/') ? folder_ + name : folder_ + "/" + name;
}

ExportFile::~ExportFile() {
    if (!committed_)
        discardTemporary();
    ::close(folderFd_);
}

void ExportFile::write(std::string_view bytes) {
    if (fileFd_ < 0)
        throw ExportError("Cannot write " + temporaryPath() + ": the file is already closed");
    while (!bytes.empty()) {
        const ssize_t written = ::write(fileFd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError("Cannot write", temporaryPath(), errno);
        }
        // A regular file never takes nothing without an error; guard against looping for ever all the same.
        if (written == 0)
            throwSystemError("Cannot write", temporaryPath(), ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void ExportFile::commit() {
    syncAndRename();
    // The rename lives in the folder; syncing it makes the new name durable. Some file systems cannot sync a
    // folder at all (EINVAL); the rename is then as durable as they make it.
    if (::fsync(folderFd_) != 0 && errno != EINVAL)
        throwSystemError("Cannot write the folder", folder_, errno);
}

void ExportFile::commitSyncedElsewhere() { takeFinalName(); }

void ExportFile::commitKeepingFolderUnsynced() { syncAndRename(); }

FolderSync::FolderSync(const std::string& folder) : folder_(folder.empty() ? "." : folder) {
    fd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
        throwSystemError("Cannot open the folder", folder_, errno);
}

FolderSync::~FolderSync() { ::close(fd_); }

bool FolderSync::syncWritesEveryFile() const {
    struct statfs info {};
    if (::fstatfs(fd_, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

void FolderSync::syncFileSystem() {
    if (::syncfs(fd_) != 0)
        throwSystemError("Cannot write into", folder_, errno);
}

void FolderSync::syncNames() {
    if (::fsync(fd_) != 0 && errno != EINVAL)
        throwSystemError("Cannot write the folder", folder_, errno);
}

void ExportFile::syncAndRename() {
    if (fileFd_ < 0)
        throw ExportError("Cannot finish " + finalPath() + ": the file is already closed");
    // Data and size reach the medium before the rename, so a crash shows either the old file or the new one,
    // never a new name over missing data.
    if (::fsync(fileFd_) != 0)
        throwSystemError("Cannot write", temporaryPath(), errno);
    takeFinalName();
}

void ExportFile::takeFinalName() {
    if (fileFd_ < 0)
        throw ExportError("Cannot finish " + finalPath() + ": the file is already closed");
    // The file stays open, and so locked, through the rename: a sweep cannot take it before it has its name.
    if (!TemporaryFileRegistry::instance().commit(folderFd_, temporaryName_, fileName_))
        throwSystemError("Cannot replace", finalPath(), errno);
    committed_ = true;
    // The data are synced, so closing has nothing left to report; Linux releases the descriptor even on EINTR.
    ::close(fileFd_);
    fileFd_ = -1;
}

} // namespace exportfile

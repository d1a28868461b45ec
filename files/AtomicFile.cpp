#include "files/AtomicFile.h"

#include "files/FileSystem.h"
#include "files/TemporaryFileRegistry.h"
#include "files/TemporaryName.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace files {
namespace {

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

FileDescriptor openFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        throwFileError("Cannot open the folder", folder, errno);
    return fd;
}

// Syncs a folder, so that the names given in it survive a crash. Some file systems cannot sync a folder at all
// (EINVAL); its names are then as durable as they make them.
void syncFolderNames(int fd, const std::string& folder) {
    if (fileSystem().syncFile(fd) != 0 && errno != EINVAL)
        throwFileError("Cannot write the folder", folder, errno);
}

} // namespace

AtomicFile::AtomicFile(const std::string& folder, const std::string& fileName)
    : folder_(folder.empty() ? "." : folder), fileName_(fileName) {
    if (!isPlainFileName(fileName_))
        throw FileError("Cannot write into " + folder_ +
                        ": the file name is empty, \".\", \"..\" or holds \"/\" "
                        "or a NUL byte");
    folderFd_ = openFolder(folder_);
    createTemporary();
}

void AtomicFile::createTemporary() {
    const std::optional<mode_t> replacedMode = modeOfReplacedFile();
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        if (createTemporaryNamed(randomTemporaryName(fileName_, random), replacedMode))
            return;
    }
    throwFileError("Cannot create a temporary file for", finalPath(), EEXIST);
}

// Creates the temporary file under one name, locks it and gives it the replaced file's permission bits.
// Returns false, having nothing left behind, when the name is taken or a sweep removed the new file before the
// lock; the caller then draws another name.
bool AtomicFile::createTemporaryNamed(std::string name, std::optional<mode_t> replacedMode) {
    // O_EXCL makes the creation fail rather than open a file (or follow a link) that someone else put there.
    const TemporaryFileRegistry::Registration created = TemporaryFileRegistry::instance().create(
        folderFd_.get(), name, replacedMode ? kReplacingFileMode : kNewFileMode);
    if (created.fd < 0) {
        if (errno == EEXIST)
            return false;
        throwFileError("Cannot create a temporary file for", finalPath(), errno);
    }
    fileFd_.reset(created.fd);
    slot_ = created.slot;
    registered_ = true;
    temporaryName_ = std::move(name);
    try {
        if (!lockTemporary()) {
            TemporaryFileRegistry::instance().forget(slot_);
            registered_ = false;
            fileFd_.reset();
            return false;
        }
        if (replacedMode && ::fchmod(fileFd_.get(), *replacedMode) != 0)
            throwFileError("Cannot set the permissions of", temporaryPath(), errno);
        return true;
    } catch (...) {
        discardTemporary();
        throw;
    }
}

// The permission bits of the regular file the commit will replace, or nothing when there is none (a link or a
// folder of that name is not a file whose bits could be kept).
std::optional<mode_t> AtomicFile::modeOfReplacedFile() const {
    struct stat info {};
    if (::fstatat(folderFd_.get(), fileName_.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        // A name too long for the folder names no file; creating the temporary file reports it.
        if (errno == ENOENT || errno == ENAMETOOLONG)
            return std::nullopt;
        throwFileError("Cannot read the permissions of", finalPath(), errno);
    }
    if (!S_ISREG(info.st_mode))
        return std::nullopt;
    return info.st_mode & 0777;
}

// Takes the exclusive lock the file keeps until it is closed. A sweep removes a file only while it holds the
// same lock, so after waiting for the lock the file is either still named (and from now on safe) or already
// removed, which the count of its names tells. Returns false in the second case.
bool AtomicFile::lockTemporary() {
    while (::flock(fileFd_.get(), LOCK_EX) != 0) {
        // A file system without locks: a sweep cannot lock there either and so removes nothing.
        if (errno != EINTR)
            return true;
    }
    struct stat info {};
    if (::fstat(fileFd_.get(), &info) != 0)
        throwFileError("Cannot create a temporary file for", finalPath(), errno);
    return info.st_nlink > 0;
}

void AtomicFile::discardTemporary() {
    if (registered_)
        TemporaryFileRegistry::instance().remove(slot_);
    registered_ = false;
    fileFd_.reset();
}

std::string AtomicFile::pathOf(const std::string& name) const {
    return folder_.ends_with('/') ? folder_ + name : folder_ + "/" + name;
}

AtomicFile::~AtomicFile() { discardTemporary(); }

void AtomicFile::requireOpen(const char* action) const {
    if (!fileFd_.valid())
        throw FileError(std::string("Cannot ") + action + " " + finalPath() + ": the file is already closed");
}

void AtomicFile::write(std::string_view bytes) {
    requireOpen("write");
    while (!bytes.empty()) {
        const ssize_t written = fileSystem().write(fileFd_.get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwFileError("Cannot write", temporaryPath(), errno);
        }
        // A regular file never takes nothing without an error; guard against looping for ever all the same.
        if (written == 0)
            throwFileError("Cannot write", temporaryPath(), ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void AtomicFile::commit() {
    syncData();
    takeFinalName();
    syncFolder();
}

bool AtomicFile::commitAsNew() {
    syncData();
    // The file stays open, and so locked, through the rename: a sweep cannot take it before it has its name.
    if (!TemporaryFileRegistry::instance().commitAsNew(slot_, fileName_)) {
        if (errno == EEXIST)
            return false;
        throwFileError("Cannot name", finalPath(), errno);
    }
    finished();
    syncFolder();
    return true;
}

void AtomicFile::commitSyncedElsewhere() {
    requireOpen("finish");
    takeFinalName();
}

void AtomicFile::commitKeepingFolderUnsynced() {
    syncData();
    takeFinalName();
}

// Data and size reach the medium before the rename, so a crash shows either the old file or the new one, never
// a new name over missing data.
void AtomicFile::syncData() {
    requireOpen("finish");
    if (fileSystem().syncFile(fileFd_.get()) != 0)
        throwFileError("Cannot write", temporaryPath(), errno);
}

void AtomicFile::takeFinalName() {
    // The file stays open, and so locked, through the rename: a sweep cannot take it before it has its name.
    if (!TemporaryFileRegistry::instance().commit(slot_, fileName_))
        throwFileError("Cannot replace", finalPath(), errno);
    finished();
}

// The data are synced, so closing has nothing left to report.
void AtomicFile::finished() {
    registered_ = false;
    fileFd_.reset();
}

void AtomicFile::syncFolder() { syncFolderNames(folderFd_.get(), folder_); }

FolderSync::FolderSync(const std::string& folder) : folder_(folder.empty() ? "." : folder), fd_(openFolder(folder_)) {}

bool FolderSync::syncWritesEveryFile() const {
    struct statfs info {};
    if (::fstatfs(fd_.get(), &info) != 0)
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
    if (fileSystem().syncFileSystem(fd_.get()) != 0)
        throwFileError("Cannot write into", folder_, errno);
}

void FolderSync::syncNames() { syncFolderNames(fd_.get(), folder_); }

} // namespace files

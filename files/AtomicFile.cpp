#include "files/AtomicFile.h"

#include "files/FileSystem.h"
#include "files/Folder.h"
#include "files/TemporaryFileRegistry.h"
#include "files/TemporaryName.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>

namespace files {
namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr mode_t kNewFileMode = 0644;
// A file that replaces another starts readable by its owner alone and gets the other's bits before the first
// byte is written, so that not even an empty file is more open than the one it replaces.
constexpr mode_t kReplacingFileMode = 0600;

} // namespace

AtomicFile::AtomicFile(const std::string& folder, const std::string& fileName)
    : folder_(folderOrCurrent(folder)), fileName_(fileName) {
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
        if (replacedMode && fileSystem().changeMode(fileFd_.get(), *replacedMode) != 0)
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
    if (fileSystem().statAt(folderFd_.get(), fileName_.c_str(), &info) != 0) {
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
    while (fileSystem().lock(fileFd_.get(), LOCK_EX) != 0) {
        // A file system without locks: a sweep cannot lock there either and so removes nothing.
        if (errno != EINTR)
            return true;
    }
    struct stat info {};
    if (fileSystem().statOpen(fileFd_.get(), &info) != 0)
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
    syncFolderNames(folderFd_.get(), folder_);
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
    syncFolderNames(folderFd_.get(), folder_);
    return true;
}

void AtomicFile::takeNameAfterSync() {
    requireOpen("finish");
    takeFinalName();
}

void AtomicFile::commitLeavingFolderUnsynced() {
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

} // namespace files

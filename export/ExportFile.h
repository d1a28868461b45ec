#pragma once

#include "export/ExportError.h"
#include "export/ExportFormat.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace exportfile {

// Writes one file of a folder so that the file is either replaced whole or left as it was. The bytes go to a
// new, uniquely named temporary file in the same folder (randomTemporaryName); commit() syncs it and renames it
// over the final name in one step. Without a commit, the destructor removes the temporary file, so a failed
// export leaves neither a partial file nor a damaged earlier one. Failures throw ExportError.
//
// The temporary file is created and renamed through the process's TemporaryFileRegistry, so that a process
// ended by a signal can remove it, and it is held under an exclusive flock() for its whole life, so that the
// sweep of stale temporary files by another export never takes it. It has the permission bits of the file it
// will replace when that exists (a file an administrator restricted stays restricted), else 0644 less the
// umask.
class ExportFile : public ExportOutput {
public:
    // Opens the folder and creates the temporary file in it. `fileName` must be a plain name without "/" or
    // NUL (the caller checks; this class only refuses such names).
    ExportFile(const std::string& folder, const std::string& fileName);
    ~ExportFile() override;
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Writes all the bytes, retrying after interruptions and short writes.
    void write(std::string_view bytes) override;

    // Syncs the file's data to the medium, renames it over the final name, closes it and syncs the folder so
    // that the new name survives a crash. No writes are allowed afterwards.
    void commit();

    // For a writer that finishes many files of one folder: once a FolderSync of that folder has synced its file
    // system after the last write, the file only takes its final name. Until the FolderSync syncs the folder
    // itself, a crash may lose the new name, never the file's data.
    void commitSyncedElsewhere();

    // commit() without syncing the folder, for a writer that finishes many files of one folder and syncs it
    // once (FolderSync::syncNames): until then a crash may lose the new name, never the file's data.
    void commitKeepingFolderUnsynced();

    std::string finalPath() const { return pathOf(fileName_); }
    std::string temporaryPath() const { return pathOf(temporaryName_); }

private:
    void syncAndRename();
    void takeFinalName();
    void createTemporary();
    bool createTemporaryNamed(std::string name, std::optional<mode_t> replacedMode);
    std::optional<mode_t> modeOfReplacedFile() const;
    bool lockTemporary();
    void discardTemporary();
    std::string pathOf(const std::string& name) const;

    std::string folder_;
    std::string fileName_;
    std::string temporaryName_;
    int folderFd_ = -1;
    int fileFd_ = -1;
    bool committed_ = false;
};

// The syncs of a writer that finishes many files of one folder at once: one sync of the whole file system
// writes all their data with one wait for the medium, where a sync of each file would wait once per file. Open
// it before the first byte is written: syncFileSystem() reports a failure to write back anything since then
// (Linux tells it since 5.8).
class FolderSync {
public:
    explicit FolderSync(const std::string& folder); // throws ExportError
    ~FolderSync();
    FolderSync(const FolderSync&) = delete;
    FolderSync& operator=(const FolderSync&) = delete;

    // True when syncFileSystem() writes every file's data to the medium as a sync of each file would: on the
    // local file systems of Linux. A network file system may have its server flush only for a file's own sync.
    bool syncWritesEveryFile() const;
    // Writes every file of the folder's file system to the medium. Throws ExportError.
    void syncFileSystem();
    // Writes the folder itself, so that the names given in it survive a crash. Throws ExportError.
    void syncNames();

private:
    std::string folder_;
    int fd_ = -1;
};

} // namespace exportfile

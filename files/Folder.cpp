#include "files/Folder.h"

#include "files/FileError.h"
#include "files/FileSystem.h"

#include <cerrno>

namespace files {

std::string folderOrCurrent(const std::string& folder) { return folder.empty() ? "." : folder; }

bool isPlainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

FileDescriptor openFolder(const std::string& folder) {
    FileDescriptor fd(fileSystem().openFolder(folder.c_str()));
    if (!fd.valid())
        throwFileError("Cannot open the folder", folder, errno);
    return fd;
}

void syncFolderNames(int folderFd, const std::string& folder) {
    if (fileSystem().syncFile(folderFd) != 0 && errno != EINVAL)
        throwFileError("Cannot write the folder", folder, errno);
}

} // namespace files

#pragma once

#include "files/FileDescriptor.h"

#include <string>
#include <string_view>

namespace files {

// The folder a caller names, the current one when the name is empty.
std::string folderOrCurrent(const std::string& folder);

// Whether `name` names a file inside a folder: not empty, not "." or "..", without "/" and without NUL (which
// would cut the name short where the system reads it).
bool isPlainFileName(std::string_view name);

// Opens the folder (see FileSystem::openFolder). Throws FileError naming it.
FileDescriptor openFolder(const std::string& folder);

// Syncs an open folder, so that the names given in it survive a crash. Some file systems cannot sync a folder
// at all (EINVAL); its names are then as durable as they make them. Throws FileError naming the folder.
void syncFolderNames(int folderFd, const std::string& folder);

} // namespace files

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace files {

// Removes from `folder` the temporary files that writers died writing: regular files whose names have the
// temporary form for a final name ending in `extension` (see isTemporaryNameFor) and that no live writer
// holds. A live AtomicFile keeps an exclusive flock() on its temporary file from creation to rename, so a file
// is removed only while this sweep holds that lock itself, and only if the name still belongs to the locked
// file. Safe while other writers, in this process or others, write into the same folder.
//
// Best effort and silent: a folder that cannot be read or a file that cannot be opened, locked or removed is
// left as it is, since the writing that follows reports its own failures. Returns how many files it removed.
std::size_t removeStaleTemporaryFiles(const std::string& folder, std::string_view extension);

} // namespace files

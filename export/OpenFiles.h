#pragma once

#include <cstddef>

namespace exportfile {

// Raises the process's limit of open files to the most it is allowed (the usual 1,024 would hold the files of
// only some 500 doctors at once) and returns how many files it may now have open.
std::size_t raiseOpenFileLimit();

} // namespace exportfile

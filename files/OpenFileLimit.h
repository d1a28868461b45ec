#pragma once

#include <cstddef>

namespace files {

// Raises the process's limit of open files to the most it is allowed (the usual 1,024 would hold only some
// 500 files being written at once) and returns the limit now. For a program's start, before any thread.
std::size_t raiseOpenFileLimit();

// How many files the process may have open.
std::size_t openFileLimit();

// How many descriptors the process has open now.
std::size_t openDescriptors();

} // namespace files

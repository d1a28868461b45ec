#pragma once

// Byte-for-byte comparisons of month-end outputs: a folder of "<code>.txt" files as pelmarot-export writes
// them, or one file holding all of them in the byte order of their names, as the sqlite3 shell writes it.

#include <filesystem>

namespace bench {

// Whether the concatenation of the folder's .txt files, in the byte order of their names, is the file.
bool concatenationEquals(const std::filesystem::path& folder, const std::filesystem::path& file);
// Whether two folders hold .txt files of the same names and bytes.
bool sameFiles(const std::filesystem::path& folder, const std::filesystem::path& other);
// Whether two outputs, both folders or both files, hold the same bytes.
bool sameOutput(const std::filesystem::path& output, const std::filesystem::path& other);

} // namespace bench

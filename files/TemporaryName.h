#pragma once

#include <random>
#include <string>
#include <string_view>

namespace files {

// The name a file is written under before it takes its final name: a dot, the final name, ".pelmarot-", eight
// characters drawn at random from the letters A-Z, a-z and the digits, and four more that the final name and
// those eight determine. The leading dot hides it from ordinary folder listings; the four make it a name that
// no person or other program gives a file by chance (".notes.txt.backup" is not one, nor a copy of a real one
// under another final name), so that a sweep may take such a file for one this program made.
std::string randomTemporaryName(const std::string& finalName, std::random_device& random);

// Whether `name` is such a name for a final name ending in `extension` (".txt", or a whole file name), with
// its case.
bool isTemporaryNameFor(std::string_view name, std::string_view extension);

} // namespace files

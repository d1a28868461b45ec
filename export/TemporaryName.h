#pragma once

#include <random>
#include <string>
#include <string_view>

namespace exportfile {

// The name an export file is written under before it takes its final name: a dot, the final name, a dot and
// six characters drawn at random from the letters A-Z, a-z and the digits. The leading dot hides it from
// ordinary folder listings.
std::string randomTemporaryName(const std::string& finalName, std::random_device& random);

// Whether `name` has that form for a final name ending in `extension` (".txt"): a dot, any text (possibly
// empty) followed by the extension, a dot and six characters of the alphabet above. The extension matches
// with its case.
bool isTemporaryNameFor(std::string_view name, std::string_view extension);

} // namespace exportfile

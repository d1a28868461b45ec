#pragma once

#include <random>
#include <string>

namespace exportfile {

// The name an export file is written under before it takes its final name: a dot, the final name, a dot and
// six characters drawn at random from the letters A-Z, a-z and the digits. The leading dot hides it from
// ordinary folder listings.
std::string randomTemporaryName(const std::string& finalName, std::random_device& random);

} // namespace exportfile

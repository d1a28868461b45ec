#pragma once

#include <string>
#include <string_view>

namespace engine {

// ASCII-only helpers: identifiers, keywords and alias entries are ASCII.
std::string toLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string trimmed(std::string_view text);

// A name as an SQL identifier in double quotes (a double quote inside is doubled).
std::string quotedIdentifier(std::string_view name);

} // namespace engine

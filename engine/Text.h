#pragma once

#include <string>
#include <string_view>

namespace engine {

// ASCII-only helpers: identifiers, keywords and alias entries are ASCII. They never consult the user's locale,
// which may fold or class letters otherwise (a Turkish locale folds "I" to a dotless i).
constexpr bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
std::string toLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string trimmed(std::string_view text);

// A name as an SQL identifier in double quotes (a double quote inside is doubled).
std::string quotedIdentifier(std::string_view name);

} // namespace engine

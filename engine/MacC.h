#pragma once

#include <optional>

namespace engine {

// The MAC C encoding of the register's names (the font "MAC C Swiss"): Macedonian Cyrillic letters at the
// ASCII code points 0x40 to 0x7E, on the letter of the same key ("A" = А, "Q" = Љ, "@" = Ж, "`" = ж, ...).

// The Cyrillic letter a byte stands for, or 0 when the byte stands for itself.
char16_t macCLetterOf(unsigned char byte);

// The byte that stands for a Cyrillic letter; nullopt for a character that is no letter of the encoding.
std::optional<char> macCByteOf(char32_t letter);

} // namespace engine

#pragma once

#include <string>
#include <string_view>

namespace demodb {

// Converts Macedonian Cyrillic text written in UTF-8 into MAC C, the 7-bit encoding that the register's names
// are stored in: each Cyrillic letter becomes the ASCII byte on the same key of the Macedonian typewriter layout
// ("Петровски" becomes "Petrovski", "Жаклина" becomes "@aklina", "Чочковска" becomes "^o~kovska"). A blank and
// a hyphen pass through. Throws std::invalid_argument for any other character, since it would have no meaning
// in the display font.
std::string macCFromUtf8(std::string_view utf8);

} // namespace demodb

#pragma once

#include <string>
#include <string_view>

namespace exportfile {

// The text right-aligned in a field of `width` characters: blanks are put in front of it while it is
// shorter than the width. A text as long as the width or longer comes back unchanged; nothing is cut.
std::string Dodaj(int width, std::string_view text);

// The same, appended to `out` without building a temporary string.
void appendDodaj(std::string& out, int width, std::string_view text);

} // namespace exportfile

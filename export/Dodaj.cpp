#include "export/Dodaj.h"

namespace exportfile {

void appendDodaj(std::string& out, int width, std::string_view text) {
    if (width > 0 && text.size() < static_cast<std::size_t>(width))
        out.append(static_cast<std::size_t>(width) - text.size(), ' ');
    out.append(text);
}

std::string Dodaj(int width, std::string_view text) {
    std::string out;
    appendDodaj(out, width, text);
    return out;
}

} // namespace exportfile

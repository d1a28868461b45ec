#include "demodb/MacC.h"

#include "engine/MacC.h"

#include <cstdio>
#include <stdexcept>

namespace demodb {
namespace {

char macCByteOf(char32_t ch) {
    if (ch == U' ' || ch == U'-')
        return static_cast<char>(ch);
    if (const auto byte = engine::macCByteOf(ch))
        return *byte;
    char codePoint[16];
    std::snprintf(codePoint, sizeof codePoint, "U+%04X", static_cast<unsigned>(ch));
    throw std::invalid_argument(std::string("MAC C has no letter for the character ") + codePoint);
}

// Decodes the UTF-8 sequence at position; only one- and two-byte sequences can hold a Macedonian letter.
char32_t decodeAt(std::string_view utf8, std::size_t& position) {
    const auto lead = static_cast<unsigned char>(utf8[position++]);
    if (lead < 0x80)
        return lead;
    if ((lead & 0xE0) == 0xC0 && position < utf8.size()) {
        const auto trail = static_cast<unsigned char>(utf8[position++]);
        if ((trail & 0xC0) == 0x80)
            return (static_cast<char32_t>(lead & 0x1F) << 6) | (trail & 0x3F);
    }
    throw std::invalid_argument("text is not Macedonian Cyrillic in UTF-8: " + std::string(utf8));
}

} // namespace

std::string macCFromUtf8(std::string_view utf8) {
    std::string bytes;
    bytes.reserve(utf8.size());
    for (std::size_t position = 0; position < utf8.size();)
        bytes += macCByteOf(decodeAt(utf8, position));
    return bytes;
}

} // namespace demodb

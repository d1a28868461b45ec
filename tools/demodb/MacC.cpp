#include "demodb/MacC.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace demodb {
namespace {

// The capital letters of the Macedonian alphabet and their MAC C bytes. The small letter of each lies 0x20
// above (0x50 above for the letters outside the Russian block) in Unicode, and 0x20 above in MAC C.
constexpr std::array<std::pair<char32_t, char>, 31> capitalLetters{{
    {U'А', 'A'}, {U'Б', 'B'}, {U'В', 'V'}, {U'Г', 'G'}, {U'Д', 'D'}, {U'Ѓ', '\\'}, {U'Е', 'E'}, {U'Ж', '@'},
    {U'З', 'Z'}, {U'Ѕ', 'Y'}, {U'И', 'I'}, {U'Ј', 'J'}, {U'К', 'K'}, {U'Л', 'L'},  {U'Љ', 'Q'}, {U'М', 'M'},
    {U'Н', 'N'}, {U'Њ', 'W'}, {U'О', 'O'}, {U'П', 'P'}, {U'Р', 'R'}, {U'С', 'S'},  {U'Т', 'T'}, {U'Ќ', ']'},
    {U'У', 'U'}, {U'Ф', 'F'}, {U'Х', 'H'}, {U'Ц', 'C'}, {U'Ч', '^'}, {U'Џ', 'X'},  {U'Ш', '['},
}};

char32_t smallLetterOf(char32_t capital) {
    return capital + (capital >= U'А' ? 0x20 : 0x50);
}

char macCByteOf(char32_t ch) {
    if (ch == U' ' || ch == U'-')
        return static_cast<char>(ch);
    for (const auto& [capital, byte] : capitalLetters) {
        if (ch == capital)
            return byte;
        if (ch == smallLetterOf(capital))
            return static_cast<char>(byte + 0x20);
    }
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

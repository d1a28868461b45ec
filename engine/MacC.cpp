#include "engine/MacC.h"

#include <array>

namespace engine {
namespace {

// The Cyrillic letter of each byte from 0x40 to 0x7E (0 = the byte shows itself).
constexpr std::array<char16_t, 0x3F> kMacCLetters = {
    u'Ж', u'А', u'Б', u'Ц', u'Д', u'Е', u'Ф', u'Г', u'Х', u'И', u'Ј', u'К', u'Л', u'М', u'Н', u'О', // 0x40-0x4F
    u'П', u'Љ', u'Р', u'С', u'Т', u'У', u'В', u'Њ', u'Џ', u'Ѕ', u'З', u'Ш', u'Ѓ', u'Ќ', u'Ч', 0,    // 0x50-0x5F
    u'ж', u'а', u'б', u'ц', u'д', u'е', u'ф', u'г', u'х', u'и', u'ј', u'к', u'л', u'м', u'н', u'о', // 0x60-0x6F
    u'п', u'љ', u'р', u'с', u'т', u'у', u'в', u'њ', u'џ', u'ѕ', u'з', u'ш', u'ѓ', u'ќ', u'ч',       // 0x70-0x7E
};

} // namespace

char16_t macCLetterOf(unsigned char byte) { return byte >= 0x40 && byte <= 0x7E ? kMacCLetters[byte - 0x40] : 0; }

std::optional<char> macCByteOf(char32_t letter) {
    for (unsigned char byte = 0x40; byte <= 0x7E; ++byte)
        if (letter != 0 && macCLetterOf(byte) == letter)
            return static_cast<char>(byte);
    return std::nullopt;
}

} // namespace engine

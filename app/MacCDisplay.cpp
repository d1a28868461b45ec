#include "app/MacCDisplay.h"

#include <QFontDatabase>
#include <QStringList>
#include <array>

namespace app {
namespace {

// The Cyrillic letter of each byte from 0x40 to 0x7E in the MAC C encoding (0 = the byte shows itself).
constexpr std::array<char16_t, 0x3F> kMacCLetters = {
    u'Ж', u'А', u'Б', u'Ц', u'Д', u'Е', u'Ф', u'Г', u'Х', u'И', u'Ј', u'К', u'Л', u'М', u'Н', u'О', // 0x40-0x4F
    u'П', u'Љ', u'Р', u'С', u'Т', u'У', u'В', u'Њ', u'Џ', u'Ѕ', u'З', u'Ш', u'Ѓ', u'Ќ', u'Ч', 0,    // 0x50-0x5F
    u'ж', u'а', u'б', u'ц', u'д', u'е', u'ф', u'г', u'х', u'и', u'ј', u'к', u'л', u'м', u'н', u'о', // 0x60-0x6F
    u'п', u'љ', u'р', u'с', u'т', u'у', u'в', u'њ', u'џ', u'ѕ', u'з', u'ш', u'ѓ', u'ќ', u'ч',       // 0x70-0x7E
};

char16_t macCLetter(unsigned char byte) {
    return byte >= 0x40 && byte <= 0x7E ? kMacCLetters[byte - 0x40] : 0;
}

} // namespace

MacCDisplay::MacCDisplay(const engine::CodePage& codePage)
    : MacCDisplay(codePage, QFontDatabase::families().contains(QString::fromLatin1(kFontFamily))) {}

MacCDisplay::MacCDisplay(const engine::CodePage& codePage, bool fontInstalled)
    : codePage_(&codePage), fontInstalled_(fontInstalled) {}

QFont MacCDisplay::font(int pixelHeight, bool bold) const {
    QFont f(QString::fromLatin1(fontInstalled_ ? kFontFamily : kFallbackFamily));
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    return f;
}

QString MacCDisplay::show(std::string_view bytes) const {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            const char16_t letter = fontInstalled_ ? 0 : macCLetter(byte);
            out += QChar(letter ? letter : static_cast<char16_t>(byte));
        } else {
            out += QString::fromUcs4(std::u32string(1, codePage_->toUnicode(byte)).c_str(), 1);
        }
    }
    return out;
}

std::optional<char> MacCDisplay::byteForTyped(QChar typed) const {
    const char16_t ch = typed.unicode();
    for (unsigned char byte = 0x40; byte <= 0x7E; ++byte)
        if (macCLetter(byte) == ch)
            return static_cast<char>(byte);
    if (ch < 0x80)
        return static_cast<char>(ch);
    const char byte = codePage_->fromUnicode(ch);
    return byte == '?' ? std::nullopt : std::optional<char>(byte);
}

} // namespace app

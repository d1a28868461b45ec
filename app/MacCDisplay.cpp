#include "app/MacCDisplay.h"

#include "engine/MacC.h"

#include <QFontDatabase>
#include <QStringList>

namespace app {

MacCDisplay::MacCDisplay(const engine::CodePage& codePage)
    : MacCDisplay(codePage, QFontDatabase::families().contains(QString::fromLatin1(kFontFamily))) {}

MacCDisplay::MacCDisplay(const engine::CodePage& codePage, bool fontInstalled)
    : codePage_(&codePage), fontInstalled_(fontInstalled) {}

QFont MacCDisplay::font(int pixelHeight, bool bold) const {
    QFont f;
    if (fontInstalled_) {
        f.setFamily(QString::fromLatin1(kFontFamily));
    } else {
        QStringList families;
        for (const char* family : kFallbackFamilies)
            families << QString::fromLatin1(family);
        f.setFamilies(families);
    }
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
            const char16_t letter = fontInstalled_ ? 0 : engine::macCLetterOf(byte);
            out += QChar(letter ? letter : static_cast<char16_t>(byte));
        } else {
            out += QString::fromUcs4(std::u32string(1, codePage_->toUnicode(byte)).c_str(), 1);
        }
    }
    return out;
}

std::optional<char> MacCDisplay::byteForTyped(QChar typed) const {
    const char16_t ch = typed.unicode();
    if (const auto byte = engine::macCByteOf(ch))
        return byte;
    if (ch < 0x80)
        return static_cast<char>(ch);
    const char byte = codePage_->fromUnicode(ch);
    return byte == '?' ? std::nullopt : std::optional<char>(byte);
}

} // namespace app

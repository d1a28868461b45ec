#pragma once

#include "engine/CodePage.h"

#include <QChar>
#include <QFont>
#include <QString>
#include <optional>
#include <string_view>

namespace app {

// Shows 8-bit texts the way the font "MAC C Swiss" draws them: Macedonian Cyrillic letters at ASCII code
// points. When that font is installed, texts are shown in it as they stand; otherwise a standard font shows
// the same letters through a display-only mapping (A = А, Q = Љ, @ = Ж, ` = ж, ...), and every other byte
// as the code page's own character. Message boxes and the title bar show Latin text as it stands instead.
class MacCDisplay {
public:
    static constexpr const char* kFontFamily = "MAC C Swiss";
    // Without it: Liberation Sans first, whose letters are narrow enough for every text to fit its control at the
    // stored layout's sizes; then DejaVu Sans, wider, which nearly every desktop installs.
    static constexpr const char* kFallbackFamilies[] = {"Liberation Sans", "DejaVu Sans"};

    // Whether "MAC C Swiss" is installed decides the mode.
    explicit MacCDisplay(const engine::CodePage& codePage);
    MacCDisplay(const engine::CodePage& codePage, bool fontInstalled);

    // The code page of bytes from 0x80 on; the database's, once it is connected.
    void setCodePage(const engine::CodePage& codePage) { codePage_ = &codePage; }

    // The font for the window's texts and data, `pixelHeight` pixels high.
    QFont font(int pixelHeight, bool bold = false) const;

    // The characters that show these bytes.
    QString show(std::string_view bytes) const;

    // The byte that shows a typed character: a Cyrillic letter becomes its MAC C byte, so either keyboard
    // layout works; nullopt when no byte shows it.
    std::optional<char> byteForTyped(QChar typed) const;

private:
    const engine::CodePage* codePage_;
    bool fontInstalled_;
};

} // namespace app

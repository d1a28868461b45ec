#pragma once

#include <array>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace engine {

// An 8-bit single-byte code page such as windows-1251. Bytes below 0x80 are ASCII in every code page the
// engine supports, so plain ASCII passes through every conversion unchanged.
//
// Text the code page cannot hold is never dropped without a word: the converters write such a character as
// one character, the first letter of the C library's transliteration ("ë" as "e", "ß" as "s", "Œ" as "O"), or
// "?" where that gives no letter, and clear the caller's `exact` flag. One character always stands for one, so
// a text keeps its length and an export's columns their widths. Thread-safe: the batch export converts from
// several threads.
class CodePage {
public:
    // The code page the engine delivers text in when the alias names none.
    static constexpr const char* kDefaultName = "windows-1251";

    // The code page of that name ("windows-1251", "cp1251", "1251", "windows-1252", "cp866", ...).
    // Throws EngineError naming the code page when the system cannot convert it, or when it is not a
    // single-byte code page that keeps ASCII (UTF-8, UTF-16, plain ASCII, EBCDIC, multi-byte Asian pages).
    static const CodePage& named(std::string_view name);

    const std::string& name() const { return name_; }

    // The Unicode character of a byte; U+FFFD where the code page leaves the byte undefined.
    char32_t toUnicode(unsigned char byte) const { return toUnicode_[byte]; }

    // The byte for a Unicode character, or '?' when the code page has no such character.
    char fromUnicode(char32_t ch) const;

    // Converts UTF-8 text into this code page, one byte for each character. Characters the code page lacks
    // are transliterated (or "?"), and so is a malformed sequence ("?"); either clears *exact when it is given, and
    // leaves it alone otherwise.
    std::string fromUtf8(std::string_view utf8, bool* exact = nullptr) const;
    std::string toUtf8(std::string_view bytes) const;

    // Converts text of another code page into this one, with the same transliteration and flag.
    std::string fromCodePage(const CodePage& source, std::string_view bytes, bool* exact = nullptr) const;

private:
    explicit CodePage(std::string name);

    // Appends a character other than ASCII: its byte, or else its transliteration (clearing *exact).
    void appendCharacter(std::string& out, char32_t ch, bool* exact) const;
    // Appends the one character that stands for a character the code page cannot hold.
    void appendTransliterated(std::string& out, char32_t ch) const;

    std::string name_;
    std::array<char32_t, 256> toUnicode_{};
    std::unordered_map<char32_t, char> fromUnicode_;
    mutable std::mutex transliterationMutex_;
    mutable std::unordered_map<char32_t, char> transliterations_;
};

// Appends the UTF-8 encoding of a character.
void appendUtf8(std::string& out, char32_t ch);

} // namespace engine

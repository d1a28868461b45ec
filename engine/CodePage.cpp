#include "engine/CodePage.h"

#include "engine/EngineError.h"
#include "engine/Text.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cwctype>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>

namespace engine {
namespace {

// The iconv name for a code page as aliases and table headers spell it. Names are ASCII and fold as ASCII: the
// user's locale may fold "I" to another letter (Turkish gives a dotless i).
std::string iconvName(std::string_view name) {
    const std::string lower = toLower(name);
    if (!lower.empty() && std::all_of(lower.begin(), lower.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "CP" + lower;
    if (lower.rfind("windows-", 0) == 0)
        return "CP" + lower.substr(8);
    return lower;
}

// Decodes one UTF-8 sequence starting at text[i]; advances i. Returns U+FFFD for malformed input.
char32_t decodeUtf8(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i++);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t ch = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        ch = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        ch = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        ch = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (byte(i) & 0xC0) != 0x80)
            return 0xFFFD;
        ch = (ch << 6) | (byte(i++) & 0x3F);
    }
    return ch;
}

} // namespace

void appendUtf8(std::string& out, char32_t ch) {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

namespace {

// What one byte of a code page decodes to, as iconv tells it.
enum class ByteMeaning { Character, Undefined, StartsASequence };

ByteMeaning decodeByte(iconv_t cd, unsigned char byte, char32_t& ch) {
    char in = static_cast<char>(byte);
    unsigned char out[4] = {};
    char* inPtr = &in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
        return errno == EINVAL ? ByteMeaning::StartsASequence : ByteMeaning::Undefined;
    if (outLeft != 0) // a shift byte of a stateful encoding: no character of its own
        return ByteMeaning::StartsASequence;
    ch = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24));
    return ByteMeaning::Character;
}

// The character as the C library transliterates it into the code page, or "?" when it cannot: the first
// character of the transliteration when that is a letter ("ß" gives the "s" of "ss", "Œ" the "O" of "OE"), so
// that one character always stands for one and a value keeps its width. glibc transliterates by the LC_CTYPE of
// the calling thread, and only some locales carry the tables (the C locale none); C.UTF-8 has those for
// accented Latin letters, so it is used whatever the user's locale is, and it also says what is a letter.
char transliterated(const std::string& iconvTarget, const std::array<char32_t, 256>& toUnicode, char32_t ch) {
    static const locale_t cUtf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    const locale_t previous = cUtf8 ? uselocale(cUtf8) : locale_t{};
    char result = '?';
    iconv_t cd = iconv_open((iconvTarget + "//TRANSLIT").c_str(), "UTF-32LE");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        unsigned char in[4] = {static_cast<unsigned char>(ch), static_cast<unsigned char>(ch >> 8),
                               static_cast<unsigned char>(ch >> 16), static_cast<unsigned char>(ch >> 24)};
        char out[16] = {};
        char* inPtr = reinterpret_cast<char*>(in);
        char* outPtr = out;
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && outPtr != out) {
            const char32_t first = toUnicode[static_cast<unsigned char>(out[0])];
            if (cUtf8 && iswalpha_l(static_cast<wint_t>(first), cUtf8))
                result = out[0];
        }
        iconv_close(cd);
    }
    if (cUtf8)
        uselocale(previous);
    return result;
}

} // namespace

CodePage::CodePage(std::string name) : name_(std::move(name)) {
    iconv_t cd = iconv_open("UTF-32LE", iconvName(name_).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EngineError("Code page '" + name_ + "' is not supported");
    // Only a code page in which every byte stands for itself or nothing, ASCII unchanged, and some letters above
    // 0x7F can carry the register's text through a file of one byte per character.
    bool singleByte = true;
    int upperCharacters = 0;
    for (int b = 0; b < 256; ++b) {
        char32_t ch = 0;
        const ByteMeaning meaning = decodeByte(cd, static_cast<unsigned char>(b), ch);
        if (b < 0x80) {
            singleByte = singleByte && meaning == ByteMeaning::Character && ch == static_cast<char32_t>(b);
            toUnicode_[b] = static_cast<char32_t>(b);
            continue;
        }
        singleByte = singleByte && meaning != ByteMeaning::StartsASequence;
        toUnicode_[b] = meaning == ByteMeaning::Character ? ch : 0xFFFD;
        upperCharacters += meaning == ByteMeaning::Character ? 1 : 0;
    }
    iconv_close(cd);
    if (!singleByte || upperCharacters == 0)
        throw EngineError("Code page '" + name_ + "' is not an 8-bit single-byte code page that keeps ASCII");
    for (int b = 0xFF; b >= 0x80; --b)
        if (toUnicode_[b] != 0xFFFD)
            fromUnicode_[toUnicode_[b]] = static_cast<char>(b);
}

const CodePage& CodePage::named(std::string_view name) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<CodePage>, std::less<>> pages;
    const std::lock_guard lock(mutex);
    const std::string key = iconvName(name);
    auto it = pages.find(key);
    if (it == pages.end())
        it = pages.emplace(key, std::unique_ptr<CodePage>(new CodePage(std::string(name)))).first;
    return *it->second;
}

char CodePage::fromUnicode(char32_t ch) const {
    if (ch < 0x80)
        return static_cast<char>(ch);
    const auto it = fromUnicode_.find(ch);
    return it == fromUnicode_.end() ? '?' : it->second;
}

void CodePage::appendCharacter(std::string& out, char32_t ch, bool* exact) const {
    const auto held = fromUnicode_.find(ch);
    if (held != fromUnicode_.end() && ch != 0xFFFD) {
        out += held->second;
        return;
    }
    if (exact)
        *exact = false;
    appendTransliterated(out, ch);
}

void CodePage::appendTransliterated(std::string& out, char32_t ch) const {
    if (ch < 0x80) { // an over-long UTF-8 form of an ASCII character: malformed, never taken for "/" or "."
        out += '?';
        return;
    }
    const std::lock_guard lock(transliterationMutex_);
    auto it = transliterations_.find(ch);
    if (it == transliterations_.end())
        it = transliterations_.emplace(ch, transliterated(iconvName(name_), toUnicode_, ch)).first;
    out += it->second;
}

std::string CodePage::fromUtf8(std::string_view utf8, bool* exact) const {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        // Runs of ASCII are the common case: copy them without decoding.
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        appendCharacter(out, decodeUtf8(utf8, i), exact);
    }
    return out;
}

std::string CodePage::toUtf8(std::string_view bytes) const {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string CodePage::fromCodePage(const CodePage& source, std::string_view bytes, bool* exact) const {
    if (&source == this)
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
            continue;
        }
        appendCharacter(out, source.toUnicode(static_cast<unsigned char>(c)), exact);
    }
    return out;
}

} // namespace engine

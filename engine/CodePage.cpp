#include "engine/CodePage.h"

#include "engine/EngineError.h"

#include <algorithm>
#include <cctype>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>

namespace engine {
namespace {

// The iconv name for a code page as aliases and table headers spell it.
std::string iconvName(std::string_view name) {
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!lower.empty() && std::all_of(lower.begin(), lower.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
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

CodePage::CodePage(std::string name) : name_(std::move(name)) {
    iconv_t cd = iconv_open("UTF-32LE", iconvName(name_).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EngineError("Code page '" + name_ + "' is not supported");
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[4] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || outLeft != 0)
            toUnicode_[b] = b < 0x80 ? static_cast<char32_t>(b) : 0xFFFD;
        else
            toUnicode_[b] = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24));
    }
    iconv_close(cd);
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

std::string CodePage::fromUtf8(std::string_view utf8) const {
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
        out += fromUnicode(decodeUtf8(utf8, i));
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

std::string CodePage::fromCodePage(const CodePage& source, std::string_view bytes) const {
    if (&source == this)
        return std::string(bytes);
    std::string out(bytes);
    for (char& c : out)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = fromUnicode(source.toUnicode(static_cast<unsigned char>(c)));
    return out;
}

} // namespace engine

#include "engine/CellText.h"

#include "engine/EngineError.h"
#include "engine/Text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace engine {

bool isAscii(std::string_view text) {
    // Every text of a register passes here: eight bytes at a time, then the rest.
    std::uint64_t bits = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        bits |= word;
    }
    for (; i < text.size(); ++i)
        bits |= static_cast<unsigned char>(text[i]);
    return (bits & 0x8080808080808080ULL) == 0;
}

std::optional<bool> booleanOfText(std::string_view text) {
    for (const char* word : {"t", "true", "y", "yes"})
        if (equalsIgnoreCase(text, word))
            return true;
    for (const char* word : {"", "f", "false", "n", "no"})
        if (equalsIgnoreCase(text, word))
            return false;
    long long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc() && end == text.data() + text.size())
        return number != 0;
    return std::nullopt;
}

std::optional<DayNumber> dayOfDateText(std::string_view text) {
    if (text.size() >= 10 && (text.size() == 10 || text[10] == ' ' || text[10] == 'T'))
        return parseIsoDate(text.substr(0, 10));
    return std::nullopt;
}

namespace {

// The length of the well-formed UTF-8 sequence of a character other than a control character at the start of
// `text`; 0 when there is none.
std::size_t printableCharacterLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    return length;
}

} // namespace

std::string printableValue(std::string_view value) {
    constexpr std::size_t kShown = 64;
    std::string out;
    std::size_t i = 0;
    while (i < value.size() && i < kShown) {
        if (const std::size_t length = printableCharacterLength(value.substr(i))) {
            out.append(value.substr(i, length));
            i += length;
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto b = static_cast<unsigned char>(value[i++]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
    }
    if (i < value.size())
        out += "...";
    return out;
}

std::string invalidValueMessage(std::string_view kind, std::string_view value, std::string_view column) {
    return "Invalid " + std::string(kind) + " '" + printableValue(value) + "' in column " + std::string(column);
}

bool booleanOfColumnText(std::string_view text, std::string_view column) {
    if (const auto value = booleanOfText(text))
        return *value;
    throw EngineError(invalidValueMessage("boolean", text, column));
}

DayNumber dayOfColumnText(std::string_view text, std::string_view column) {
    if (const auto day = dayOfDateText(text))
        return *day;
    throw EngineError(invalidValueMessage("date", text, column));
}

RowTexts::RowTexts(const CodePage& codePage, std::size_t columns)
    : codePage_(codePage), converted_(columns), exact_(columns, true) {}

std::string_view RowTexts::convert(std::size_t column, std::string_view utf8) {
    if (isAscii(utf8)) {
        exact_[column] = true;
        return utf8;
    }
    bool exact = true;
    converted_[column] = codePage_.fromUtf8(utf8, &exact);
    exact_[column] = exact;
    return converted_[column];
}

} // namespace engine

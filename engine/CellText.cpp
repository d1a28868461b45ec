#include "engine/CellText.h"

#include "engine/Text.h"

#include <algorithm>
#include <charconv>

namespace engine {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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

std::string invalidValueMessage(std::string_view kind, std::string_view value, std::string_view column) {
    return "Invalid " + std::string(kind) + " '" + std::string(value) + "' in column " + std::string(column);
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

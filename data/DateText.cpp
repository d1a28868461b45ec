#include "data/DateText.h"

#include <cstddef>

namespace data {
namespace {

// Letters of a pattern count without regard to case. Only ASCII letters are tokens, so bytes of the 8-bit code
// page (Cyrillic letters in quoted text, for instance) are never folded; std::tolower would depend on the C
// locale and is slower than this on the export's hot path.
char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Appends the decimal digits of value, with leading zeros up to minDigits digits.
void appendNumber(std::string& out, int value, std::size_t minDigits) {
    if (value < 0) {
        out += '-';
        value = -value;
    }
    char digits[12];
    std::size_t count = 0;
    auto rest = static_cast<unsigned>(value);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (count < minDigits)
        out.append(minDigits - count, '0');
    while (count > 0)
        out += digits[--count];
}

void appendDay(std::string& out, std::size_t run, const RegionalSettings& settings, engine::DayNumber day,
               const engine::CivilDate& date) {
    if (run <= 2)
        appendNumber(out, date.day, run);
    else if (run == 3)
        out += settings.shortDayNames[static_cast<std::size_t>(engine::weekdayOf(day))];
    else
        out += settings.longDayNames[static_cast<std::size_t>(engine::weekdayOf(day))];
}

void appendMonth(std::string& out, std::size_t run, const RegionalSettings& settings, const engine::CivilDate& date) {
    if (run <= 2)
        appendNumber(out, date.month, run);
    else if (run == 3)
        out += settings.shortMonthNames[static_cast<std::size_t>(date.month - 1)];
    else
        out += settings.longMonthNames[static_cast<std::size_t>(date.month - 1)];
}

void appendYear(std::string& out, std::size_t run, const engine::CivilDate& date) {
    // One and two letters both give the year of the century; a short year is never a single digit.
    if (run <= 2)
        appendNumber(out, date.year % 100, 2);
    else
        appendNumber(out, date.year, 4);
}

} // namespace

std::string formatDate(std::string_view pattern, const RegionalSettings& settings, engine::DayNumber day) {
    const engine::CivilDate date = engine::civilDateOf(day);
    // A separator of NUL would put a NUL byte into the export file; it means the settings give none.
    const char separator = settings.dateSeparator != '\0' ? settings.dateSeparator : '/';

    std::string out;
    out.reserve(pattern.size() + 24);
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            // Quoted text ends at the same kind of quote; an unterminated quote runs to the end of the pattern.
            std::size_t close = pattern.find(c, i + 1);
            if (close == std::string_view::npos)
                close = pattern.size();
            out.append(pattern.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if (c == '/') {
            out += separator;
            ++i;
            continue;
        }
        const char letter = foldAscii(c);
        if (letter != 'd' && letter != 'm' && letter != 'y') {
            out += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && foldAscii(pattern[i + run]) == letter)
            ++run;
        i += run;
        if (letter == 'd')
            appendDay(out, run, settings, day, date);
        else if (letter == 'm')
            appendMonth(out, run, settings, date);
        else
            appendYear(out, run, date);
    }
    return out;
}

} // namespace data

#include "engine/Date.h"

#include <cstdio>

namespace engine {
namespace {

// Days from 1970-01-01 to the given civil date (H. Hinnant's algorithm). Constant-evaluated, so that the
// epoch below is set before any other file's static initialisation can convert a date.
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kEpochOfDayOne = daysFromCivil(1, 1, 1) - 1;

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

} // namespace

bool isValidCivilDate(int year, int month, int day) {
    static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const int last = kDaysInMonth[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
    return day <= last;
}

DayNumber dayNumberOf(int year, int month, int day) {
    return static_cast<DayNumber>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                  kEpochOfDayOne);
}

CivilDate civilDateOf(DayNumber dayNumber) {
    const std::int64_t z = dayNumber + kEpochOfDayOne + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

int weekdayOf(DayNumber day) {
    // Day 1, 1 January 0001, was a Monday.
    const int r = static_cast<int>(day % 7);
    return r < 0 ? r + 7 : r;
}

std::string isoDateText(DayNumber day) {
    const CivilDate date = civilDateOf(day);
    if (date.year < 0 || date.year > 9999) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
        return text;
    }
    // A table's every date passes here: the digits are set by hand rather than by a formatted print.
    std::string text = "0000-00-00";
    const auto digits = [&](std::size_t end, int value, int count) {
        for (int i = 1; i <= count; ++i, value /= 10)
            text[end - static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    digits(4, date.year, 4);
    digits(7, date.month, 2);
    digits(10, date.day, 2);
    return text;
}

std::optional<DayNumber> parseIsoDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (std::size_t k = 0; k < lengths[p]; ++k) {
            const char c = text[starts[p] + k];
            if (c < '0' || c > '9')
                return std::nullopt;
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    if (!isValidCivilDate(parts[0], parts[1], parts[2]))
        return std::nullopt;
    return dayNumberOf(parts[0], parts[1], parts[2]);
}

} // namespace engine

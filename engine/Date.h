#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// Dates travel through the engine as day numbers: day 1 is 1 January 0001 of the proleptic Gregorian
// calendar. Day number 0 never names a date.
using DayNumber = std::int32_t;

// 30 December 1899, the day the desktop's date count starts from; an empty date counts as this day.
inline constexpr DayNumber kDayZeroOfDateCount = 693594;

struct CivilDate {
    int year = 1;
    int month = 1;
    int day = 1;
};

bool isValidCivilDate(int year, int month, int day);

// REQUIRES: isValidCivilDate(year, month, day) and 1 <= year <= 9999.
DayNumber dayNumberOf(int year, int month, int day);
CivilDate civilDateOf(DayNumber day);

// 0 = Sunday ... 6 = Saturday.
int weekdayOf(DayNumber day);

// Parses an ISO date "YYYY-MM-DD" (years 0001 to 9999); nullopt for anything else.
std::optional<DayNumber> parseIsoDate(std::string_view text);
// The ISO date "YYYY-MM-DD" of a day, as SQLite registers store dates.
std::string isoDateText(DayNumber day);

} // namespace engine

#pragma once

#include <cstdint>

namespace demodb {

// A date of the proleptic Gregorian calendar and its conversion to and from a running day number (days since
// 1970-01-01), so that dates can be drawn uniformly between two bounds with integer arithmetic.
struct CivilDate {
    int year;
    int month; // 1..12
    int day;   // 1..31

    static std::int64_t toDayNumber(const CivilDate& date) {
        const int y = date.year - (date.month <= 2 ? 1 : 0);
        const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
        const int yearOfEra = y - static_cast<int>(era * 400);
        const int dayOfYear = (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
        const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * 146097 + dayOfEra - 719468;
    }

    static CivilDate fromDayNumber(std::int64_t dayNumber) {
        dayNumber += 719468;
        const std::int64_t era = (dayNumber >= 0 ? dayNumber : dayNumber - 146096) / 146097;
        const int dayOfEra = static_cast<int>(dayNumber - era * 146097);
        const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const int shiftedMonth = (5 * dayOfYear + 2) / 153;
        const int day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
        const int month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
        const int year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
        return CivilDate{year, month, day};
    }
};

} // namespace demodb

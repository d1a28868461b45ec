#pragma once

#include "data/RegionalSettings.h"
#include "engine/Date.h"

#include <string>
#include <string_view>

namespace data {

// The date formatted with a date pattern: letters count without regard to case and a run of one letter is
// one token (d, dd, ddd, dddd; m, mm, mmm, mmmm; y, yy, yyy, yyyy and longer runs), "/" is the date
// separator, text in single or double quotes is copied without the quotes, every other character is copied.
std::string formatDate(std::string_view pattern, const RegionalSettings& settings, engine::DayNumber day);

// The date text: the date in the short date pattern of the settings.
inline std::string dateText(const RegionalSettings& settings, engine::DayNumber day) {
    return formatDate(settings.shortDatePattern, settings, day);
}

} // namespace data

#pragma once

#include "engine/CodePage.h"

#include <array>
#include <string>

namespace data {

// The user's regional settings that the date text needs, with every text in the engine's 8-bit code page.
struct RegionalSettings {
    // The short date pattern in the tokens of the date text (d, m, y runs; "/" for the date separator;
    // quoted text), e.g. "m/d/yy" or "d/m/yy".
    std::string shortDatePattern = "m/d/yy";
    char dateSeparator = '/';
    // Index 0 is Sunday.
    std::array<std::string, 7> shortDayNames;
    std::array<std::string, 7> longDayNames;
    // Index 0 is January.
    std::array<std::string, 12> shortMonthNames;
    std::array<std::string, 12> longMonthNames;

    // The settings used where the regional settings give none: "m/d/yy", "/", English names.
    static RegionalSettings defaults();

    // The user's current settings: the LC_TIME locale as Qt sees it (LC_ALL, else LC_TIME, else LANG);
    // the C and POSIX locales (and none at all) give defaults(). Names are converted into codePage.
    static RegionalSettings fromSystem(const engine::CodePage& codePage);
};

} // namespace data

#include "data/DateText.h"

#include <gtest/gtest.h>

namespace {

// Macedonian names as windows-1251 bytes, written out by hand, for the months and days the cases below use.
data::RegionalSettings macedonianSettings() {
    data::RegionalSettings settings = data::RegionalSettings::defaults();
    settings.shortDatePattern = "d/m/yy";
    settings.dateSeparator = '.';
    settings.shortDayNames[2] = "\xE2\xF2\xEE.";                      // вто.
    settings.longDayNames[2] = "\xE2\xF2\xEE\xF0\xED\xE8\xEA";        // вторник
    settings.longDayNames[6] = "\xF1\xE0\xE1\xEE\xF2\xE0";            // сабота
    settings.shortMonthNames[0] = "\xBC\xE0\xED.";                    // јан.
    settings.longMonthNames[0] = "\xBC\xE0\xED\xF3\xE0\xF0\xE8";      // јануари
    settings.longMonthNames[11] = "\xE4\xE5\xEA\xE5\xEC\xE2\xF0\xE8"; // декември
    return settings;
}

data::RegionalSettings withSeparator(char separator) {
    data::RegionalSettings settings = data::RegionalSettings::defaults();
    settings.dateSeparator = separator;
    return settings;
}

struct DateTextCase {
    const char* pattern;
    data::RegionalSettings settings;
    engine::DayNumber day;
    const char* expected;
};

TEST(DateText, FormatsEveryTokenOfThePattern) {
    const data::RegionalSettings english = data::RegionalSettings::defaults();
    const data::RegionalSettings macedonian = macedonianSettings();
    const engine::DayNumber dayZero = engine::kDayZeroOfDateCount;     // Saturday, 30 December 1899
    const engine::DayNumber tuesday = engine::dayNumberOf(2024, 3, 5); // Tuesday, 5 March 2024
    const engine::DayNumber january = engine::dayNumberOf(2024, 1, 9); // Tuesday, 9 January 2024
    const engine::DayNumber yearFive = engine::dayNumberOf(5, 7, 4);
    const engine::DayNumber year987 = engine::dayNumberOf(987, 11, 20);

    const DateTextCase cases[] = {
        // Real short date patterns, including the empty date (day zero of the date count).
        {"m/d/yy", english, dayZero, "12/30/99"},
        {"dd.mm.yyyy", english, dayZero, "30.12.1899"},
        {"d/m/yy", withSeparator('.'), dayZero, "30.12.99"},
        {"dd/mm/yyyy", withSeparator('-'), tuesday, "05-03-2024"},
        {"m/d/yy", english, tuesday, "3/5/24"},
        {"yyyy/mm/dd", withSeparator('.'), tuesday, "2024.03.05"},
        // Letters count without regard to case; a mixed-case run is still one token.
        {"M/D/YY", english, dayZero, "12/30/99"},
        {"Dd.mM.yYyY", english, tuesday, "05.03.2024"},
        {"DDDD MMM", english, tuesday, "Tuesday Mar"},
        // Names: three letters give the short name, four or more the long one.
        {"ddd, d mmm yyyy", english, tuesday, "Tue, 5 Mar 2024"},
        {"dddd, mmmm d", english, dayZero, "Saturday, December 30"},
        {"dddddd mmmmmmm", english, tuesday, "Tuesday March"},
        {"dddd, d. mmmm yyyy", macedonian, dayZero,
         "\xF1\xE0\xE1\xEE\xF2\xE0, 30. \xE4\xE5\xEA\xE5\xEC\xE2\xF0\xE8 1899"},
        {"ddd d mmm", macedonian, january, "\xE2\xF2\xEE. 9 \xBC\xE0\xED."},
        {"dddd mmmm", macedonian, january, "\xE2\xF2\xEE\xF0\xED\xE8\xEA \xBC\xE0\xED\xF3\xE0\xF0\xE8"},
        // Years: one or two letters give two digits, three or more at least four digits.
        {"yyyy-mm-dd", english, yearFive, "0005-07-04"},
        {"y|yy|yyy|yyyyy", english, yearFive, "05|05|0005|0005"},
        {"d/m/yyyy", english, year987, "20/11/0987"},
        {"yy", english, year987, "87"},
        // Quoted text in either kind of quote is copied without the quotes, even letters and "/".
        {"'Datum: 'dd/mm", withSeparator('.'), tuesday, "Datum: 05.03"},
        {"dd\"/\"mm/yy", withSeparator('.'), tuesday, "05/03.24"},
        {"\"it's \"d", english, tuesday, "it's 5"},
        {"'say \"dmy\"' m", english, tuesday, "say \"dmy\" 3"},
        {"''d", english, tuesday, "5"},
        {"d 'of mmmm/yy", english, tuesday, "5 of mmmm/yy"},
        {"d \"of", english, tuesday, "5 of"},
        // Other characters pass through, including letters without a meaning and bytes of the code page.
        {"d-m-y h:n, t", english, tuesday, "5-3-24 h:n, t"},
        {"d.m.yyyy \xE3. \xC4\xE4", english, tuesday, "5.3.2024 \xE3. \xC4\xE4"},
        {"", english, tuesday, ""},
        // A date text longer than the 12 characters of its export column is not cut.
        {"'Datum 'dd.mm.yyyy' g.'", english, tuesday, "Datum 05.03.2024 g."},
    };
    for (const DateTextCase& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(data::formatDate(c.pattern, c.settings, c.day), c.expected);
    }
}

TEST(DateText, DateTextUsesTheShortDatePatternOfTheSettings) {
    EXPECT_EQ(data::dateText(data::RegionalSettings::defaults(), engine::kDayZeroOfDateCount), "12/30/99");
    EXPECT_EQ(data::dateText(macedonianSettings(), engine::kDayZeroOfDateCount), "30.12.99");
    data::RegionalSettings german = data::RegionalSettings::defaults();
    german.shortDatePattern = "dd/mm/yyyy";
    german.dateSeparator = '.';
    EXPECT_EQ(data::dateText(german, engine::dayNumberOf(1, 1, 1)), "01.01.0001");
    EXPECT_EQ(data::dateText(german, engine::dayNumberOf(9999, 12, 31)), "31.12.9999");
}

} // namespace

#include "data/RegionalSettings.h"
#include "data/DateText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// Sets the locale variables for one scope and puts back what the process had before.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* lcAll, const char* lcTime, const char* lang) {
        set("LC_ALL", lcAll);
        set("LC_TIME", lcTime);
        set("LANG", lang);
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;
    ~LocaleEnvironment() {
        for (const Saved& saved : saved_) {
            if (saved.value)
                setenv(saved.name, saved.value->c_str(), 1);
            else
                unsetenv(saved.name);
        }
    }

private:
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    };

    // value nullptr unsets the variable.
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

    std::vector<Saved> saved_;
};

const engine::CodePage& windows1251() { return engine::CodePage::named("windows-1251"); }

struct EnvironmentCase {
    const char* lcAll;
    const char* lcTime;
    const char* lang;
    const char* pattern;
    char separator;
    const char* dayZeroText;
};

TEST(RegionalSettings, ShortDatePatternFollowsTheTimeLocaleOfTheEnvironment) {
    const EnvironmentCase cases[] = {
        // No regional date format: nothing set, the C and POSIX locales, a name Qt does not know.
        {nullptr, nullptr, nullptr, "m/d/yy", '/', "12/30/99"},
        {"C", nullptr, "de_DE.UTF-8", "m/d/yy", '/', "12/30/99"},
        {"POSIX", nullptr, nullptr, "m/d/yy", '/', "12/30/99"},
        {nullptr, nullptr, "C.UTF-8", "m/d/yy", '/', "12/30/99"},
        {"xx_YY.UTF-8", nullptr, nullptr, "m/d/yy", '/', "12/30/99"},
        // Real locales; LC_ALL beats LC_TIME beats LANG, and an empty variable counts as unset.
        {"mk_MK.UTF-8", nullptr, nullptr, "d/m/yy", '.', "30.12.99"},
        {"en_US.UTF-8", nullptr, nullptr, "m/d/yy", '/', "12/30/99"},
        {"de_DE.UTF-8", nullptr, nullptr, "dd/mm/yy", '.', "30.12.99"},
        {nullptr, nullptr, "mk_MK.UTF-8", "d/m/yy", '.', "30.12.99"},
        {nullptr, "de_DE.UTF-8", "en_US.UTF-8", "dd/mm/yy", '.', "30.12.99"},
        {"", "de_DE.UTF-8", "en_US.UTF-8", "dd/mm/yy", '.', "30.12.99"},
        {"en_US.UTF-8", "mk_MK.UTF-8", "de_DE.UTF-8", "m/d/yy", '/', "12/30/99"},
        {"de_DE@euro", nullptr, nullptr, "dd/mm/yy", '.', "30.12.99"},
        // Quoted Cyrillic text arrives in the code page; the full stop after it is the separator again.
        {"bg_BG.UTF-8", nullptr, nullptr, "d/mm/yy '\xE3'/", '.', "30.12.99 \xE3."},
        // Separators beyond the full stop; the invisible right-to-left marks of Arabic are dropped.
        {"fr_CA.UTF-8", nullptr, nullptr, "yyyy/mm/dd", '-', "1899-12-30"},
        {"hu_HU.UTF-8", nullptr, nullptr, "yyyy/ mm/ dd/", '.', "1899. 12. 30."},
        {"ar_EG.UTF-8", nullptr, nullptr, "d/m/yyyy", '/', "30/12/1899"},
    };
    for (const EnvironmentCase& c : cases) {
        SCOPED_TRACE(std::string("LC_ALL=") + (c.lcAll ? c.lcAll : "(unset)") +
                     " LC_TIME=" + (c.lcTime ? c.lcTime : "(unset)") + " LANG=" + (c.lang ? c.lang : "(unset)"));
        const LocaleEnvironment environment(c.lcAll, c.lcTime, c.lang);
        const data::RegionalSettings settings = data::RegionalSettings::fromSystem(windows1251());
        EXPECT_EQ(settings.shortDatePattern, c.pattern);
        EXPECT_EQ(settings.dateSeparator, c.separator);
        EXPECT_EQ(data::dateText(settings, engine::kDayZeroOfDateCount), c.dayZeroText);
    }
}

TEST(RegionalSettings, NamesComeFromTheLocaleInTheEnginesCodePage) {
    {
        const LocaleEnvironment environment("mk_MK.UTF-8", nullptr, nullptr);
        const data::RegionalSettings settings = data::RegionalSettings::fromSystem(windows1251());
        EXPECT_EQ(settings.longMonthNames[0], "\xBC\xE0\xED\xF3\xE0\xF0\xE8");      // јануари
        EXPECT_EQ(settings.shortMonthNames[0], "\xBC\xE0\xED.");                    // јан.
        EXPECT_EQ(settings.longMonthNames[11], "\xE4\xE5\xEA\xE5\xEC\xE2\xF0\xE8"); // декември
        EXPECT_EQ(settings.longDayNames[0], "\xED\xE5\xE4\xE5\xEB\xE0");            // недела
        EXPECT_EQ(settings.shortDayNames[1], "\xEF\xEE\xED.");                      // пон.
        EXPECT_EQ(settings.longDayNames[6], "\xF1\xE0\xE1\xEE\xF2\xE0");            // сабота
        EXPECT_EQ(data::formatDate("dddd, d mmmm yyyy", settings, engine::kDayZeroOfDateCount),
                  "\xF1\xE0\xE1\xEE\xF2\xE0, 30 \xE4\xE5\xEA\xE5\xEC\xE2\xF0\xE8 1899");

        // A code page without Cyrillic letters gets '?' for each of them.
        const auto latin = data::RegionalSettings::fromSystem(engine::CodePage::named("windows-1252"));
        EXPECT_EQ(latin.shortMonthNames[0], "???.");
    }
    {
        const LocaleEnvironment environment("en_US.UTF-8", nullptr, nullptr);
        const data::RegionalSettings settings = data::RegionalSettings::fromSystem(windows1251());
        const data::RegionalSettings defaults = data::RegionalSettings::defaults();
        EXPECT_EQ(settings.shortDayNames, defaults.shortDayNames);
        EXPECT_EQ(settings.longDayNames, defaults.longDayNames);
        EXPECT_EQ(settings.shortMonthNames, defaults.shortMonthNames);
        EXPECT_EQ(settings.longMonthNames, defaults.longMonthNames);
        EXPECT_EQ(defaults.longDayNames[0], "Sunday");
        EXPECT_EQ(defaults.shortMonthNames[11], "Dec");
    }
    {
        // German abbreviations inside a date carry a full stop that the standalone form lacks.
        const LocaleEnvironment environment("de_DE.UTF-8", nullptr, nullptr);
        const data::RegionalSettings settings = data::RegionalSettings::fromSystem(windows1251());
        EXPECT_EQ(settings.shortMonthNames[11], "Dez.");
        EXPECT_EQ(settings.longDayNames[0], "Sonntag");
    }
}

} // namespace

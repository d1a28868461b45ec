#include "data/RegionalSettings.h"

#include <QChar>
#include <QList>
#include <QLocale>
#include <QString>

#include <cstdlib>
#include <optional>
#include <string_view>

namespace data {
namespace {

// The name of the locale that governs dates, chosen as Qt chooses it for QLocale::system(): LC_ALL, else
// LC_TIME, else LANG, where a variable set to the empty string counts as unset. Empty when none is set.
std::string timeLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

// True for the names of the C and POSIX locales ("C", "POSIX", "C.UTF-8", ...) and for no name at all. These
// locales define no regional date format of their own.
bool isPortableLocaleName(std::string_view name) {
    const std::string_view base = name.substr(0, name.find_first_of(".@"));
    return base.empty() || base == "C" || base == "POSIX";
}

bool isFormatCharacter(char32_t ch) { return QChar::category(ch) == QChar::Other_Format; }

// Writes a date pattern in the tokens of the date text, as UTF-8. Literal characters that the date text would
// read as tokens or quotes are put between single quotes; a literal single quote, which single-quoted text
// cannot hold, is written between double quotes.
class DatePatternWriter {
public:
    void token(char letter, std::size_t run) {
        closeQuote();
        text_.append(run, letter);
    }

    void separator() {
        closeQuote();
        text_ += '/';
    }

    // quoted: the character was quoted text in the source pattern and stays quoted text.
    void literal(char32_t ch, bool quoted) {
        if (ch == U'\'') {
            closeQuote();
            text_ += "\"'\"";
            return;
        }
        const bool asciiLetter = (ch >= U'a' && ch <= U'z') || (ch >= U'A' && ch <= U'Z');
        if (quoted || asciiLetter || ch == U'"' || ch == U'/')
            openQuote();
        else
            closeQuote();
        engine::appendUtf8(text_, ch);
    }

    std::string finish() {
        closeQuote();
        return std::move(text_);
    }

private:
    void openQuote() {
        if (!inQuote_)
            text_ += '\'';
        inQuote_ = true;
    }

    void closeQuote() {
        if (inQuote_)
            text_ += '\'';
        inQuote_ = false;
    }

    std::string text_;
    bool inQuote_ = false;
};

struct TranslatedPattern {
    std::string pattern; // UTF-8
    std::optional<char32_t> separator;
};

// Translates a Qt date format (d, M, y runs; text in single quotes, where two single quotes stand for one)
// into the tokens of the date text. The date separator is the first character outside quotes that is not a
// letter; every occurrence of it outside quotes becomes "/". Invisible format characters such as the
// right-to-left marks of Arabic patterns are dropped: an 8-bit code page mostly cannot hold them, and they
// must not be taken for the separator.
TranslatedPattern translateQtDatePattern(const QString& qtPattern) {
    const QList<uint> chars = qtPattern.toUcs4();
    const auto at = [&](qsizetype k) { return static_cast<char32_t>(chars[k]); };
    const qsizetype size = chars.size();

    DatePatternWriter writer;
    std::optional<char32_t> separator;
    qsizetype i = 0;
    while (i < size) {
        const char32_t ch = at(i);
        if (ch == U'\'') {
            if (i + 1 < size && at(i + 1) == U'\'') {
                writer.literal(U'\'', false);
                i += 2;
                continue;
            }
            for (++i; i < size; ++i) {
                if (at(i) == U'\'') {
                    if (i + 1 < size && at(i + 1) == U'\'') {
                        writer.literal(U'\'', true);
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (!isFormatCharacter(at(i)))
                    writer.literal(at(i), true);
            }
            continue;
        }
        if (isFormatCharacter(ch)) {
            ++i;
            continue;
        }
        if (ch == U'd' || ch == U'M' || ch == U'y') {
            std::size_t run = 0;
            for (; i < size && at(i) == ch; ++i)
                ++run;
            writer.token(ch == U'M' ? 'm' : static_cast<char>(ch), run);
            continue;
        }
        if (!QChar::isLetter(ch) && !separator)
            separator = ch;
        if (separator && ch == *separator)
            writer.separator();
        else
            writer.literal(ch, false);
        ++i;
    }
    return TranslatedPattern{writer.finish(), separator};
}

std::string inCodePage(const QString& text, const engine::CodePage& codePage) {
    return codePage.fromUtf8(text.toStdString());
}

} // namespace

RegionalSettings RegionalSettings::defaults() {
    RegionalSettings settings;
    settings.shortDatePattern = "m/d/yy";
    settings.dateSeparator = '/';
    settings.shortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    settings.longDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    settings.shortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    settings.longMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
    return settings;
}

RegionalSettings RegionalSettings::fromSystem(const engine::CodePage& codePage) {
    const std::string name = timeLocaleName();
    if (isPortableLocaleName(name))
        return defaults();
    // QLocale drops the ".codeset" and "@modifier" parts itself, exactly as it does for QLocale::system().
    // A name that Qt does not know gives its C locale, which, like the C locale of the environment, has no
    // regional date format.
    const QLocale locale(QString::fromLatin1(name));
    if (locale.language() == QLocale::C)
        return defaults();

    RegionalSettings settings;
    const TranslatedPattern translated = translateQtDatePattern(locale.dateFormat(QLocale::ShortFormat));
    settings.shortDatePattern = codePage.fromUtf8(translated.pattern);
    settings.dateSeparator = translated.separator ? codePage.fromUnicode(*translated.separator) : '/';

    // Qt numbers the days of the week from 1 (Monday) to 7 (Sunday); index 0 here is Sunday.
    for (int index = 0; index < 7; ++index) {
        const int qtDay = index == 0 ? 7 : index;
        const auto slot = static_cast<std::size_t>(index);
        settings.shortDayNames[slot] = inCodePage(locale.dayName(qtDay, QLocale::ShortFormat), codePage);
        settings.longDayNames[slot] = inCodePage(locale.dayName(qtDay, QLocale::LongFormat), codePage);
    }
    // Month names in a short date stand beside the day, so they take the form used inside a date (monthName)
    // rather than the standalone form of calendar headings. The two differ in many languages: Russian puts the
    // month inside a date in the genitive ("декабря" against "декабрь"), German abbreviates "Dez." against "Dez".
    for (int month = 1; month <= 12; ++month) {
        const auto slot = static_cast<std::size_t>(month - 1);
        settings.shortMonthNames[slot] = inCodePage(locale.monthName(month, QLocale::ShortFormat), codePage);
        settings.longMonthNames[slot] = inCodePage(locale.monthName(month, QLocale::LongFormat), codePage);
    }
    return settings;
}

} // namespace data

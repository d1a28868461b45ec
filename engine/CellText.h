#pragma once

#include "engine/CodePage.h"
#include "engine/Date.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Whether every byte is below 0x80, the text then being the same in UTF-8 and in every code page.
bool isAscii(std::string_view text);

// The boolean a stored text stands for: "t", "true", "y", "yes", "1" (or any other integer but 0) are true;
// "f", "false", "n", "no", "0" and the empty text false, without regard to case. nullopt for anything else,
// which the caller reports rather than reading as false.
std::optional<bool> booleanOfText(std::string_view text);

// The day of an ISO date "YYYY-MM-DD", alone or at the start of a timestamp ("YYYY-MM-DD hh:mm...",
// "YYYY-MM-DDThh:mm..."); nullopt for anything else.
std::optional<DayNumber> dayOfDateText(std::string_view text);

// A stored value (UTF-8) as a message can show it: control characters and bytes that are no UTF-8 as \xNN (a NUL
// would otherwise end the message), and no more than 64 bytes of it, then "...".
std::string printableValue(std::string_view value);

// The message for a value a column cannot deliver as the kind it is read as: "Invalid date '2024-13-45' in
// column DATA_PRI". The value is shown as printableValue shows it.
std::string invalidValueMessage(std::string_view kind, std::string_view value, std::string_view column);

// booleanOfText and dayOfDateText for a column's stored text; throw EngineError with invalidValueMessage when
// the text is no boolean or no date.
bool booleanOfColumnText(std::string_view text, std::string_view column);
DayNumber dayOfColumnText(std::string_view text, std::string_view column);

// The texts of one row of a UTF-8 store (SQLite, PostgreSQL) in the engine's code page: one buffer per column,
// so that each text stays valid while the other columns of the row are read, and whether each was exact.
class RowTexts {
public:
    RowTexts(const CodePage& codePage, std::size_t columns);

    // The column's text in the code page; `utf8` itself when it is ASCII. Valid until the column is converted
    // again or `utf8` goes.
    std::string_view convert(std::size_t column, std::string_view utf8);
    // Whether the last convert() of the column held every character exactly.
    bool exact(std::size_t column) const { return exact_[column]; }

private:
    const CodePage& codePage_;
    std::vector<std::string> converted_;
    std::vector<char> exact_; // not vector<bool>: set for every text of every row
};

} // namespace engine

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace registercheck {

// The kinds of problem pelmarot-check looks for, in the order its report lists them.
enum class ProblemKind {
    UnreadableTable,     // a table's statement or scan fails
    UnreadableDate,      // a date the engine cannot read
    UnheldText,          // a text the engine's code page cannot hold
    CollidingCode,       // two doctor codes that are one text in the code page
    CodeNoFileName,      // a doctor code that cannot name an export file
    DuplicateDoctor,     // a doctor code in more than one row of Lekari
    DuplicatePerson,     // a person listed twice with one doctor
    UnknownDoctor,       // a person whose doctor is not in Lekari
    InactiveDoctor,      // a person whose doctor is inactive
    EmptyDeregistration, // BR_ODJ holding an empty text instead of NULL
    FlagSpelling,        // a flag stored as something other than the driver's true and false
};
inline constexpr std::size_t kProblemKinds = 11;

// The kind as the report's heading and summary name it: "dates that cannot be read".
std::string_view problemLabel(ProblemKind kind);

// One problem: where it is, what is wrong and what the program does with it.
struct Finding {
    std::string_view table;  // "Lekari", "Osigurenici"
    std::string rowKey;      // "row 7, MB '0101990450001', LEKAR_S '100001'"; "" for the whole table
    std::string column;      // "" for the whole row or table
    std::string problem;     // what is wrong, with the stored value
    std::string consequence; // what the window and pelmarot-export do with it
};

// The findings of a check: every one counted, and the first `kept` of each kind kept for the report.
class FindingList {
public:
    explicit FindingList(std::size_t kept) : kept_(kept) {}

    // Counts a finding of that kind and, while fewer than `kept` of the kind are kept, keeps the one `make()`
    // returns; `make` is not called otherwise, so a finding past the limit costs no text.
    template <typename Make>
    void add(ProblemKind kind, Make make) {
        const auto k = static_cast<std::size_t>(kind);
        if (static_cast<std::size_t>(counts_[k]++) < kept_)
            keptFindings_[k].push_back(make());
    }

    std::int64_t count(ProblemKind kind) const { return counts_[static_cast<std::size_t>(kind)]; }
    std::int64_t total() const;
    // The kept findings of a kind, in the order they were found.
    const std::vector<Finding>& kept(ProblemKind kind) const { return keptFindings_[static_cast<std::size_t>(kind)]; }

private:
    std::size_t kept_;
    std::array<std::int64_t, kProblemKinds> counts_{};
    std::array<std::vector<Finding>, kProblemKinds> keptFindings_;
};

} // namespace registercheck

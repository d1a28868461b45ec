#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace registercheck {

// Pairs of a number and a text (a doctor and an MB), each seen in a row, and which of them repeat a pair of an
// earlier row. Built for millions of pairs: they are appended to two arrays while the rows are read and sorted
// once at the end, so adding a pair allocates nothing beyond the arrays' amortised growth.
class RepeatedPairs {
public:
    // REQUIRES: rows are added in increasing order. Throws std::length_error past 4 GiB of texts or 2^32 rows.
    void add(std::uint32_t number, std::string_view text, std::int64_t row);

    struct Repeat {
        std::int64_t row;
        std::int64_t firstRow; // the first row with the same pair
        std::uint32_t number;
        std::string_view text; // valid while the object lives and no pair is added
    };
    // Every pair that repeats one of an earlier row, in the order of its rows. Reorders the pairs held.
    std::vector<Repeat> repeats();

private:
    struct Entry {
        std::uint64_t hash;
        std::uint32_t number;
        std::uint32_t row;
        std::uint32_t textOffset;
        std::uint32_t textLength;
    };

    std::string_view textOf(const Entry& entry) const { return {texts_.data() + entry.textOffset, entry.textLength}; }

    std::string texts_;
    std::vector<Entry> entries_;
};

} // namespace registercheck

#include "RepeatedPairs.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>

namespace registercheck {

void RepeatedPairs::add(std::uint32_t number, std::string_view text, std::int64_t row) {
    const std::uint64_t hash =
        std::hash<std::string_view>{}(text) ^ (static_cast<std::uint64_t>(number) * 0x9E3779B97F4A7C15ULL);
    constexpr auto kLimit = std::numeric_limits<std::uint32_t>::max();
    if (row < 0 || row > kLimit || texts_.size() + text.size() > kLimit)
        throw std::length_error("the register has more persons than pelmarot-check can compare");
    entries_.push_back(Entry{hash, number, static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(texts_.size()),
                             static_cast<std::uint32_t>(text.size())});
    texts_.append(text);
}

std::vector<RepeatedPairs::Repeat> RepeatedPairs::repeats() {
    // Equal pairs end up next to each other, the first row first; texts are compared only where hashes agree.
    const auto samePair = [this](const Entry& a, const Entry& b) {
        return a.hash == b.hash && a.number == b.number && textOf(a) == textOf(b);
    };
    std::sort(entries_.begin(), entries_.end(), [this](const Entry& a, const Entry& b) {
        if (a.hash != b.hash)
            return a.hash < b.hash;
        if (a.number != b.number)
            return a.number < b.number;
        if (const int order = textOf(a).compare(textOf(b)); order != 0)
            return order < 0;
        return a.row < b.row;
    });
    std::vector<Repeat> found;
    for (std::size_t first = 0, next = 1; first < entries_.size(); first = next++) {
        for (; next < entries_.size() && samePair(entries_[first], entries_[next]); ++next)
            found.push_back(
                Repeat{entries_[next].row, entries_[first].row, entries_[next].number, textOf(entries_[next])});
    }
    std::sort(found.begin(), found.end(), [](const Repeat& a, const Repeat& b) { return a.row < b.row; });
    return found;
}

} // namespace registercheck

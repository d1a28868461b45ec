#pragma once

// Order statistics of a handful of timings, as the bench programs print them.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// The value at fraction `p` (0 to 1) of the sorted values, by the nearest rank.
// REQUIRES: values is not empty.
inline double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

inline double median(const std::vector<double>& values) { return percentile(values, 0.5); }

// REQUIRES: values is not empty.
inline double minimum(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
inline double maximum(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

} // namespace bench

#include "app/IncrementalSearch.h"

namespace app {

IncrementalSearch::IncrementalSearch(Clock clock) : clock_(std::move(clock)) {}

std::optional<std::string> IncrementalSearch::candidate(char byte) {
    const std::int64_t now = clock_();
    if (now - lastKeyMs_ > kPauseMs)
        prefix_.clear();
    lastKeyMs_ = now;
    if (prefix_.size() >= kMaxLength)
        return std::nullopt;
    return prefix_ + byte;
}

void IncrementalSearch::accept(std::string prefix) { prefix_ = std::move(prefix); }

void IncrementalSearch::clear() { prefix_.clear(); }

} // namespace app

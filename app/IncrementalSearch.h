#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace app {

// The typed search of a lookup box: characters typed within 2000 ms of each other make one prefix of at most
// 32 characters. The caller tries the candidate prefix and keeps it only when something matches.
class IncrementalSearch {
public:
    static constexpr std::int64_t kPauseMs = 2000;
    static constexpr std::size_t kMaxLength = 32;

    using Clock = std::function<std::int64_t()>; // milliseconds, monotonic

    explicit IncrementalSearch(Clock clock);

    // The prefix to try when `byte` is typed now, or nullopt when the prefix is full. Typing after a pause
    // of more than kPauseMs starts a new prefix.
    std::optional<std::string> candidate(char byte);
    // Keeps a candidate that matched.
    void accept(std::string prefix);
    void clear();

private:
    Clock clock_;
    std::string prefix_;
    std::int64_t lastKeyMs_ = 0;
};

} // namespace app

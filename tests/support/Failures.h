#pragma once

#include <functional>
#include <string>

namespace testsupport {

// The message of the failure an action throws, or "(no failure)". Only failures of type Expected are
// caught: any other exception escapes and fails the test.
template <class Expected = std::exception>
std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Expected& e) {
        return e.what();
    }
    return "(no failure)";
}

} // namespace testsupport

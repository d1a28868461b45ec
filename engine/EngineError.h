#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine {

// A failure reported by the database engine. The engine's messages are kept in order without repeats;
// what() joins them one per line, which is exactly the text the user is shown.
class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message);
    explicit EngineError(const std::vector<std::string>& messages);

    // Offset of the code that raised the failure within its module, for crash-style reports.
    std::uintptr_t place() const { return place_; }

private:
    std::uintptr_t place_ = 0;
};

} // namespace engine

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

// A table that another program wrote while it was read: the rows read may mix its old and new content, and
// reading it again may succeed. The text names the table's file and what changed.
class ChangedWhileRead : public EngineError {
public:
    using EngineError::EngineError;
};

} // namespace engine

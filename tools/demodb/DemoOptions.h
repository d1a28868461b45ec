#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace demodb {

struct DemoOptions {
    std::size_t doctors = 50;
    std::uint64_t persons = 20'000;
    std::uint64_t seed = 1;
    bool force = false; // replace an existing output file
    std::filesystem::path output;
};

// Reads "[--doctors N] [--persons N] [--seed S] [--force] OUTPUT" into `options`; an option's value may also
// follow an equals sign ("--persons=2000000"). Returns the exit status when the program should end at once:
// after --help, or 2 after a usage error.
std::optional<int> parseCommandLine(int argc, const char* const* argv, DemoOptions& options);

} // namespace demodb

#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace demodb {

// A command line that does not say what to do; the tool prints the text and the usage and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DemoOptions {
    std::size_t doctors = 50;
    std::uint64_t persons = 20'000;
    std::uint64_t seed = 1;
    bool force = false; // replace an existing output file
    bool help = false;
    std::filesystem::path output;
};

// Reads "[--doctors N] [--persons N] [--seed S] [--force] OUTPUT"; an option's value may also follow an equals
// sign ("--persons=2000000"). Throws UsageError.
DemoOptions parseCommandLine(int argc, const char* const* argv);

std::string usageText();

} // namespace demodb

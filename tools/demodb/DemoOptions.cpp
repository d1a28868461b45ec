#include "demodb/DemoOptions.h"

#include "cli/CommandLine.h"

#include <charconv>
#include <string>
#include <string_view>

namespace demodb {
namespace {

constexpr const char* kProgram = "pelmarot-demo-db";

constexpr const char* kUsage =
    "usage: pelmarot-demo-db [--doctors N] [--persons N] [--seed S] [--force] OUTPUT.sqlite\n"
    "Writes a demo register of doctors (table Lekari) and insured persons (table Osigurenici).\n"
    "  --doctors N  number of doctors, 1 to 100000 (default 50)\n"
    "  --persons N  number of insured persons, 0 to 100000000 (default 20000)\n"
    "  --seed S     seed of the random choices; the same seed gives the same file (default 1)\n"
    "  --force      replace OUTPUT if it exists\n";

constexpr commandline::Option kOptions[] = {{"doctors", 0, "a whole number"},
                                            {"persons", 0, "a whole number"},
                                            {"seed", 0, "a whole number"},
                                            {"force"},
                                            {"help", 'h'}};

constexpr std::uint64_t maxDoctors = 100'000;
constexpr std::uint64_t maxPersons = 100'000'000;

// The value of the option `name` when it was given, else `fallback`; throws UsageError for a value that is no
// whole number from `low` to `high`.
std::uint64_t count(const commandline::CommandLine& commandLine, std::string_view name, std::uint64_t fallback,
                    std::uint64_t low, std::uint64_t high) {
    const std::optional<std::string> text = commandLine.value(name);
    if (!text)
        return fallback;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || error != std::errc() || end != text->data() + text->size() || value < low || value > high)
        throw commandline::UsageError("--" + std::string(name) + " needs a whole number from " + std::to_string(low) +
                                      " to " + std::to_string(high) + ", not '" + *text + "'");
    return value;
}

} // namespace

std::optional<int> parseCommandLine(int argc, const char* const* argv, DemoOptions& options) {
    return commandline::readCommandLine(kProgram, kUsage, argc, argv, kOptions, [&](const auto& commandLine) {
        options.doctors = static_cast<std::size_t>(count(commandLine, "doctors", options.doctors, 1, maxDoctors));
        options.persons = count(commandLine, "persons", options.persons, 0, maxPersons);
        options.seed = count(commandLine, "seed", options.seed, 0, UINT64_MAX);
        options.force = commandLine.has("force");
        const auto& outputs = commandLine.operands();
        if (outputs.size() != 1)
            throw commandline::UsageError(outputs.empty() ? "no output file given" : "more than one output file given");
        options.output = outputs.front();
    });
}

} // namespace demodb

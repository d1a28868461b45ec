#include "demodb/CommandLine.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace demodb {
namespace {

constexpr std::uint64_t maxDoctors = 100'000;
constexpr std::uint64_t maxPersons = 100'000'000;

std::uint64_t parseCount(std::string_view option, std::string_view text, std::uint64_t low, std::uint64_t high) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw UsageError(std::string(option) + " wants a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + std::string(text) + "\"");
    return value;
}

} // namespace

DemoOptions parseCommandLine(int argc, const char* const* argv) {
    DemoOptions options;
    std::vector<std::string_view> outputs;
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        std::string_view argument = argv[index];
        if (optionsEnded || !argument.starts_with("-") || argument == "-") {
            outputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--force") {
            options.force = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }

        std::string_view name = argument;
        std::optional<std::string_view> value;
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name != "--doctors" && name != "--persons" && name != "--seed")
            throw UsageError("unknown option " + std::string(argument));
        if (!value) {
            if (index + 1 >= argc)
                throw UsageError(std::string(name) + " wants a value");
            value = argv[++index];
        }
        if (name == "--doctors")
            options.doctors = static_cast<std::size_t>(parseCount(name, *value, 1, maxDoctors));
        else if (name == "--persons")
            options.persons = parseCount(name, *value, 0, maxPersons);
        else
            options.seed = parseCount(name, *value, 0, UINT64_MAX);
    }
    if (options.help)
        return options;
    if (outputs.size() != 1)
        throw UsageError(outputs.empty() ? "no output file given" : "more than one output file given");
    options.output = outputs.front();
    return options;
}

std::string usageText() {
    return "usage: pelmarot-demo-db [--doctors N] [--persons N] [--seed S] [--force] OUTPUT.sqlite\n"
           "Writes a demo register of doctors (table Lekari) and insured persons (table Osigurenici).\n"
           "  --doctors N  number of doctors, 1 to 100000 (default 50)\n"
           "  --persons N  number of insured persons, 0 to 100000000 (default 20000)\n"
           "  --seed S     seed of the random choices; the same seed gives the same file (default 1)\n"
           "  --force      replace OUTPUT if it exists\n";
}

} // namespace demodb

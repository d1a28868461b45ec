#include "Table.h"

#include <cstdio>

namespace bench {
namespace {

constexpr int kWhatWidth = 72;
constexpr int kResultWidth = 32;
constexpr int kMemoryWidth = 9;
constexpr int kTargetWidth = 24;

} // namespace

void printTableHeading() {
    printRow("measure", "result", "peak mem", "target");
    std::printf("|%s|%s|%s|%s|\n", std::string(kWhatWidth + 2, '-').c_str(), std::string(kResultWidth + 2, '-').c_str(),
                std::string(kMemoryWidth + 2, '-').c_str(), std::string(kTargetWidth + 2, '-').c_str());
}

void printRow(const std::string& what, const std::string& result, const std::string& memory,
              const std::string& target) {
    std::printf("| %-*s | %-*s | %*s | %-*s |\n", kWhatWidth, what.c_str(), kResultWidth, result.c_str(), kMemoryWidth,
                memory.c_str(), kTargetWidth, target.c_str());
}

std::string fmt(const char* format, double a, double b) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string mib(double value) { return fmt("%.0f MiB", value); }

std::string target(const std::string& text, bool met) { return text + (met ? ": met" : ": MISSED"); }

} // namespace bench

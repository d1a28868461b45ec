#pragma once

// The bench's table of figures: what was measured, the result, the peak memory and the target.

#include <string>

namespace bench {

void printTableHeading();
void printRow(const std::string& what, const std::string& result, const std::string& memory, const std::string& target);

// printf-style text of up to two numbers.
std::string fmt(const char* format, double a, double b = 0);
// "123 MiB".
std::string mib(double value);
// The target followed by whether it was met: "<= 5 ms: met", "<= 5 ms: MISSED".
std::string target(const std::string& text, bool met);

} // namespace bench

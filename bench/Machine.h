#pragma once

// The machine the figures were taken on, for the heading of the table.

#include <string>

namespace bench {

// The "model name" of the first processor in /proc/cpuinfo; "unknown processor" when there is none.
std::string processorModel();
// The processors the system runs programs on.
unsigned processorCount();
// The three load averages of /proc/loadavg (1, 5 and 15 minutes), as the kernel writes them.
std::string loadAverage();

} // namespace bench

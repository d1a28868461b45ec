#pragma once

// The measures taken in the program's window, each in a process of its own
// ("pelmarot_bench --measure NAME [DOCTOR...]"), so that its memory is its own:
//   first-reload DOCTOR  the window opened and the doctor's list loaded once
//   reloads DOCTOR...    one reload of each doctor's list, in order, after the list was loaded once
//   big                  the 200,000-person doctor: its reload, memory per row, painting while scrolling
//   export               the 100,000-person doctor's export, from the dialog's acceptance to the message
// The window reads the 2,000,000-person register, or the register of the alias file named by
// $PELMAROT_BENCH_ALIASES. Each measure prints "key value" lines.

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// REQUIRES: `doctors` is not empty for first-reload and reloads. Returns the process's exit status: 2 for a
// measure it does not know.
int measureInWindow(const std::string& measure, const std::vector<std::string>& doctors,
                    const std::filesystem::path& data, int argc, char** argv);

} // namespace bench

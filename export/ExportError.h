#pragma once

#include <stdexcept>
#include <string>

namespace exportfile {

// A failure to write an export file. The text names the file (or folder) and the system's reason, so that a
// command-line caller can show it as it stands; the window shows its own fixed message instead.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace exportfile

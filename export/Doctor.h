#pragma once

#include <string>

namespace exportfile {

// An active doctor as a month end exports it: the code as the lists bind it (bytes of the engine's code page),
// the file it is written to (the code in UTF-8, as the window names it), and, when the code page cannot hold
// the stored code exactly, why it is not exported (its bytes would then be another doctor's).
struct Doctor {
    std::string code;
    std::string fileCode;
    std::string unheld;
};

} // namespace exportfile

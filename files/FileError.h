#pragma once

#include <stdexcept>
#include <string>

namespace files {

// A failure of the file system: the text names the file or folder and the system's reason ("Cannot write
// /srv/x/.A1.txt.pelmarot-...: No space left on device"), so that a command-line caller can show it as it stands.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<action> <path>: <the system's text for error>".
[[noreturn]] void throwFileError(const std::string& action, const std::string& path, int error);

} // namespace files

#pragma once

#include <string>

// What every command-line tool of Pelmarot does the same way: a usage error is one line and a hint, never
// the whole help text; --help and --version go to standard output, and a failure to write them is a failure.
namespace commandline {

// Prints "<program>: <message>" and "Try '<program> --help' for more information." on standard error and
// returns the exit status of bad usage, 2.
int usageError(const char* program, const std::string& message);

// Prints `text` on standard output and returns 0; when it cannot be written (a full disk, a closed pipe)
// says so on standard error and returns 1.
int printHelpOrVersion(const char* program, const std::string& text);

// "<program> <the project's version>\n", the version as CMake's project() gives it.
std::string versionText(const char* program);

} // namespace commandline

#include "CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace commandline {

int usageError(const char* program, const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, message.c_str(), program);
    return 2;
}

int printHelpOrVersion(const char* program, const std::string& text) {
    errno = 0;
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written)
        return 0;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program,
                 errno ? std::strerror(errno) : "write error");
    return 1;
}

std::string versionText(const char* program) { return std::string(program) + " " + PELMAROT_VERSION + "\n"; }

} // namespace commandline

#include "files/OpenFileLimit.h"

#include <filesystem>
#include <sys/resource.h>
#include <system_error>

namespace files {
namespace {

constexpr std::size_t kAssumedLimit = 1024;

std::size_t countOf(const rlimit& limit) {
    return limit.rlim_cur == RLIM_INFINITY ? std::size_t{1} << 20 : static_cast<std::size_t>(limit.rlim_cur);
}

} // namespace

std::size_t raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return kAssumedLimit;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return countOf(limit);
}

std::size_t openFileLimit() {
    rlimit limit{};
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? countOf(limit) : kAssumedLimit;
}

std::size_t openDescriptors() {
    std::error_code ec;
    std::size_t count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count > 0 ? count - 1 : 0; // less the iterator's own
}

} // namespace files

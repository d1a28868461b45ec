#include "engine/EngineError.h"

#include <algorithm>
#include <dlfcn.h>

namespace engine {
namespace {

std::vector<std::string> withoutRepeats(const std::vector<std::string>& messages) {
    std::vector<std::string> unique;
    for (const auto& m : messages)
        if (std::find(unique.begin(), unique.end(), m) == unique.end())
            unique.push_back(m);
    return unique;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty())
            text += '\n';
        text += line;
    }
    return text;
}

std::uintptr_t moduleOffset(void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fbase == nullptr)
        return reinterpret_cast<std::uintptr_t>(address);
    return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

} // namespace

// Each constructor takes its own return address, which is the place that raised the failure; neither may
// be inlined into its caller, nor may one delegate to the other (the place would then be the delegating one).
__attribute__((noinline)) EngineError::EngineError(const std::string& message)
    : std::runtime_error(message), place_(moduleOffset(__builtin_return_address(0))) {}

__attribute__((noinline)) EngineError::EngineError(const std::vector<std::string>& messages)
    : std::runtime_error(joinLines(withoutRepeats(messages))), place_(moduleOffset(__builtin_return_address(0))) {}

} // namespace engine

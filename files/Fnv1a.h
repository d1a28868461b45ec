#pragma once

#include <cstdint>
#include <string_view>

namespace files {

// The FNV-1a hash of the bytes of `text`, continuing from `hash`: quicker than the library's hash for the short
// names and codes it is used for, and the same on every machine.
constexpr std::uint64_t kFnv1aStart = 14695981039346656037ULL;
constexpr std::uint64_t fnv1a(std::string_view text, std::uint64_t hash = kFnv1aStart) {
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return hash;
}

} // namespace files

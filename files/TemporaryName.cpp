#include "files/TemporaryName.h"

#include "files/Fnv1a.h"

#include <cstdint>

namespace files {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::string_view kMark = ".pelmarot-";
constexpr std::size_t kRandomLength = 8;
constexpr std::size_t kCheckLength = 4;

// The four characters that the final name and the random ones determine (FNV-1a, written in the alphabet).
std::string checkCharacters(std::string_view finalName, std::string_view random) {
    std::uint64_t hash = fnv1a(random, fnv1a(kMark, fnv1a(finalName)));
    std::string check;
    for (std::size_t i = 0; i < kCheckLength; ++i, hash /= kAlphabet.size())
        check += kAlphabet[hash % kAlphabet.size()];
    return check;
}

} // namespace

std::string randomTemporaryName(const std::string& finalName, std::random_device& random) {
    // Eight characters make a taken name unlikely; the caller draws again when one is taken all the same.
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::string drawn;
    for (std::size_t i = 0; i < kRandomLength; ++i)
        drawn += kAlphabet[pick(random)];
    return "." + finalName + std::string(kMark) + drawn + checkCharacters(finalName, drawn);
}

bool isTemporaryNameFor(std::string_view name, std::string_view extension) {
    constexpr std::size_t kSuffixLength = kMark.size() + kRandomLength + kCheckLength;
    if (name.size() < 1 + extension.size() + kSuffixLength || !name.starts_with('.'))
        return false;
    const std::string_view finalName = name.substr(1, name.size() - 1 - kSuffixLength);
    const std::string_view suffix = name.substr(name.size() - kSuffixLength);
    const std::string_view drawn = suffix.substr(kMark.size(), kRandomLength);
    return finalName.ends_with(extension) && suffix.starts_with(kMark) &&
           drawn.find_first_not_of(kAlphabet) == std::string_view::npos &&
           suffix.substr(kMark.size() + kRandomLength) == checkCharacters(finalName, drawn);
}

} // namespace files

#include "export/TemporaryName.h"

namespace exportfile {
namespace {

constexpr std::string_view kSuffixAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kSuffixLength = 6;

} // namespace

std::string randomTemporaryName(const std::string& finalName, std::random_device& random) {
    // Six characters make a taken name unlikely; the caller draws again when one is taken all the same.
    std::uniform_int_distribution<std::size_t> pick(0, kSuffixAlphabet.size() - 1);
    std::string name = "." + finalName + ".";
    for (std::size_t i = 0; i < kSuffixLength; ++i)
        name += kSuffixAlphabet[pick(random)];
    return name;
}

bool isTemporaryNameFor(std::string_view name, std::string_view extension) {
    if (name.size() < 1 + extension.size() + 1 + kSuffixLength || !name.starts_with('.'))
        return false;
    const std::string_view suffix = name.substr(name.size() - kSuffixLength);
    name.remove_suffix(kSuffixLength);
    return name.ends_with(std::string(extension) + ".") &&
           suffix.find_first_not_of(kSuffixAlphabet) == std::string_view::npos;
}

} // namespace exportfile

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

} // namespace exportfile

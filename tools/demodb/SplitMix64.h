#pragma once

#include <cstdint>

namespace demodb {

// The splitmix64 generator. The demo register must come out byte for byte the same from the same seed on every
// machine and with every standard library, which the std:: distributions do not promise; so every random choice
// of the generator is drawn from this one sequence with integer arithmetic only.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // A number in [0, bound); bound must not be 0. The modulo bias is below 2^-40 for the bounds used here.
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }

    // A number in [low, high].
    std::int64_t between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(high - low) + 1));
    }

    // True with the probability numerator / denominator.
    bool chance(std::uint64_t numerator, std::uint64_t denominator) { return below(denominator) < numerator; }

private:
    std::uint64_t state_;
};

} // namespace demodb

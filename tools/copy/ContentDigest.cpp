#include "ContentDigest.h"

#include <cstdio>

namespace registercopy {
namespace {

// FNV-1a over the bytes, then the SplitMix64 finalizer so that the sums mix every bit.
class RowHash {
public:
    explicit RowHash(std::uint64_t basis) : state_(basis) {}

    void byte(unsigned char b) {
        state_ ^= b;
        state_ *= 0x100000001b3ULL;
    }
    void bytes(const std::string& text) {
        for (const char c : text)
            byte(static_cast<unsigned char>(c));
    }
    void number(std::uint64_t n) {
        for (int i = 0; i < 8; ++i)
            byte(static_cast<unsigned char>(n >> (8 * i)));
    }
    std::uint64_t result() const {
        std::uint64_t z = state_ + 0x9e3779b97f4a7c15ULL;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

std::uint64_t hashOf(const std::vector<Value>& row, std::uint64_t basis) {
    RowHash hash(basis);
    for (const Value& value : row) {
        // A NULL and an empty text differ; each text carries its length so that values cannot run together.
        if (!value) {
            hash.byte(0);
            continue;
        }
        hash.byte(1);
        hash.number(value->size());
        hash.bytes(*value);
    }
    return hash.result();
}

} // namespace

void ContentDigest::add(const std::vector<Value>& row) {
    ++rows_;
    first_ += hashOf(row, 0xcbf29ce484222325ULL);
    second_ += hashOf(row, 0x84222325cbf29ce4ULL);
}

std::string ContentDigest::text() const {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%016llx%016llx", static_cast<unsigned long long>(first_),
                  static_cast<unsigned long long>(second_));
    return buffer;
}

} // namespace registercopy

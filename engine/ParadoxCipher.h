#pragma once

// The protection of a Paradox table by a password.
//
// A protected table records in its header a 32-bit check value worked out from the password, and stores
// each data block scrambled: the block is cut into chunks of 256 bytes, and each chunk's bytes are moved
// about and mixed with three fixed tables of 256 bytes. The key of the scrambling is the low half of the
// check value, the chunk's place in its block and the block's number, so a reader that has the right
// password (one whose check value equals the header's) can unscramble every block. The header itself,
// with the field descriptors, is stored plainly.
//
// Usage:
//
//     if (engine::paradoxCheckValue(password) != checkValueInHeader) refuse();
//     const engine::ParadoxCipher cipher(checkValueInHeader);
//     cipher.unscramble(blockBytes, blockSize, blockNumber);     // blocks counted from 1

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine {

// The check value a protected table records for a password: never 0 (0 marks a table without a password).
// A password longer than 255 bytes has none (0): no table can be protected by it.
std::uint32_t paradoxCheckValue(std::string_view password);

// False for a check value that no password gives (its high half is never zero): a damaged header.
bool isPossibleCheckValue(std::uint32_t checkValue);

class ParadoxCipher {
public:
    static constexpr std::size_t kChunkSize = 256;

    explicit ParadoxCipher(std::uint32_t checkValue);

    // Unscrambles, in place, `chunks` whole chunks of block `block` (counted from 1) that begin with chunk
    // `firstChunk` of the block; `bytes` points at the first of them. A whole block is firstChunk 0 and
    // blockSize / kChunkSize chunks.
    void unscramble(unsigned char* bytes, std::uint32_t block, std::size_t firstChunk, std::size_t chunks) const;
    // The opposite: how a protected table stores the bytes (for tests that write protected tables).
    void scramble(unsigned char* bytes, std::uint32_t block, std::size_t firstChunk, std::size_t chunks) const;

private:
    std::uint8_t a_;
    std::uint8_t b_;
};

} // namespace engine

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
//     const engine::ParadoxCipher cipher(checkValueInHeader, blockSize);
//     cipher.unscrambleBlock(storedBytes, plainBytes, blockNumber);     // blocks counted from 1

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace engine {

// The check value a protected table records for a password: never 0 (0 marks a table without a password).
// A password longer than 255 bytes has none (0): no table can be protected by it.
std::uint32_t paradoxCheckValue(std::string_view password);

// False for a check value that no password gives (its high half is never zero): a damaged header.
bool isPossibleCheckValue(std::uint32_t checkValue);

class ParadoxCipher {
public:
    static constexpr std::size_t kChunkSize = 256;

    // checkValue: the header's; blockSize: the table's, a multiple of kChunkSize. Works out the masks of every
    // chunk of a block under each of the 256 block-number bytes once (blockSize times 256 bytes), so that
    // unscrambling a byte is one look-up in the stored bytes and one in the masks.
    ParadoxCipher(std::uint32_t checkValue, std::size_t blockSize);

    // Writes the plain bytes [from, from + length) of block `block` (counted from 1) to plain[0 .. length).
    // `stored` holds that block's stored bytes from byte storedFrom on (a multiple of kChunkSize), at least the
    // whole chunks that hold the bytes asked for.
    void unscramble(const unsigned char* stored, std::size_t storedFrom, unsigned char* plain, std::uint32_t block,
                    std::size_t from, std::size_t length) const;
    // A whole block: its stored bytes into plain ones.
    void unscrambleBlock(const unsigned char* stored, unsigned char* plain, std::uint32_t block) const;
    // The opposite, in place: how a protected table stores a block (for tests that write protected tables).
    void scrambleBlock(unsigned char* bytes, std::uint32_t block) const;

    // The look-ups of one block, for unscrambling a few bytes of it at a time.
    class BlockKey {
    public:
        BlockKey(const std::uint8_t* places, const std::uint8_t* masks) : places_(places), masks_(masks) {}
        // The plain byte at `at` of the block whose stored bytes begin at `stored`.
        unsigned char plain(const unsigned char* stored, std::size_t at) const {
            return static_cast<unsigned char>(stored[(at & ~(kChunkSize - 1)) + places_[at & (kChunkSize - 1)]] ^
                                              masks_[at]);
        }

    private:
        const std::uint8_t* places_;
        const std::uint8_t* masks_;
    };
    BlockKey keyOf(std::uint32_t block) const;

private:
    const std::uint8_t* masksOf(std::uint32_t block) const;

    std::size_t blockSize_;
    std::shared_ptr<const std::vector<std::uint8_t>> masks_; // by block-number byte, then by byte of the block
};

} // namespace engine

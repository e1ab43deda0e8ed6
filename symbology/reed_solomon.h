#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "symbology/api.h"
#include "symbology/decode_status.h"

namespace dm {

// GF(256) with the polynomial 0x12D and generator 2.
DM_API uint8_t gfMultiply(uint8_t a, uint8_t b);

// Exponent sum reduced modulo 255 without division.
constexpr int reduceExponent(int x) {
    while (x >= 255) {
        x -= 255;
        x = (x >> 8) + (x & 255);
    }
    return x;
}

// How the 144x144 symbol interleaves its codewords. Every other size has one rule.
enum class Interleaving {
    Compliant,  // ECC codewords of block k at 1558 + k + 10m, as for every other size
    Legacy,     // the whole stream dealt out by position: position p to block p mod 10
};

// Rows of equal length in one zero-filled block.
struct BlockArray {
    std::vector<uint8_t> bytes;
    int rowLength = 0;
    int rowCount = 0;

    BlockArray() = default;
    BlockArray(int rows, int length)
        : bytes(static_cast<size_t>(rows) * length), rowLength(length), rowCount(rows) {}
    std::span<uint8_t> row(int k) {
        return {bytes.data() + static_cast<size_t>(k) * rowLength, static_cast<size_t>(rowLength)};
    }
    std::span<const uint8_t> row(int k) const {
        return {bytes.data() + static_cast<size_t>(k) * rowLength, static_cast<size_t>(rowLength)};
    }
};

// Received blocks sized for sizeIndex: blockCount rows of blockData + blockEcc bytes.
DM_API BlockArray makeReceivedBlocks(int sizeIndex);
// Corrected data blocks: blockCount rows of blockData bytes.
DM_API BlockArray makeDataBlocks(int sizeIndex);

// Writes the error-correction codewords of the symbol into stream[dataCodewords ...].
// The stream holds dataCodewords + eccCodewords bytes.
DM_API void encodeBlocks(std::span<uint8_t> stream, int sizeIndex);

// Deals the codeword stream out into blocks (data first in each block).
DM_API bool splitBlocks(std::span<const uint8_t> stream, BlockArray& blocks, int sizeIndex,
                        DecodeStatus& status, Interleaving interleaving = Interleaving::Compliant);

// Corrects one block; returns Success, BlockUncorrectable or BlockUnprocessable.
DM_API DecodeStatus decodeBlock(std::span<const uint8_t> received, std::span<uint8_t> dataOut,
                                int blockData, int blockEcc);

// What correcting a block found: its status and, on success, how many codewords were wrong.
struct BlockCorrection {
    DecodeStatus status = DecodeStatus::BlockUnprocessable;
    int errors = 0;
    // Syndromes the correction left unused, which still check it: those checked less twice
    // the errors found and once the erasures.
    int spareSyndromes = 0;
};

// Corrects a whole block (data, then error correction codewords) in place, as decodeBlock does;
// the block is left as it was unless the status is Success. Erasures name block positions
// known to be doubtful: each costs one checked syndrome where an error costs two, so that
// 2 errors + erasures up to the syndromes checked are corrected.
DM_API BlockCorrection correctBlock(std::span<uint8_t> block, int blockData, int blockEcc,
                                    std::span<const int32_t> erasures = {});

// Errors a block of this shape can correct: half the syndromes checked, which in the two
// smallest shapes (3 + 5 and 5 + 7 codewords) leave one codeword aside against misreading.
DM_API int correctableErrors(int blockData, int blockEcc);

// Corrects every block in order; the first uncorrectable block stops with status 6.
DM_API bool decodeBlocks(BlockArray& blocks, BlockArray& dataBlocks, int sizeIndex,
                         DecodeStatus& status);

// Writes the dataCodewords corrected data codewords in stream order.
// Both interleavings place the data codewords alike, so the join needs no choice.
DM_API bool joinData(const BlockArray& dataBlocks, std::span<uint8_t> data, int sizeIndex,
                     DecodeStatus& status);

}  // namespace dm

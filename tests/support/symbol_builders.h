#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace dm::test {

// Module matrix (standard orientation, 1 = dark) of a symbol of the given size holding exactly
// these data codewords, padded with 129, with valid error correction.
std::vector<uint8_t> symbolWithData(std::vector<uint8_t> data, int sizeIndex);

// The codeword stream (data and error correction) a module matrix of the size holds, standard
// orientation; empty when it cannot be read.
std::vector<uint8_t> codewordsOf(std::span<const uint8_t> matrix, int sizeIndex);

struct TestSymbol {
    std::string message;
    std::vector<uint8_t> matrix;  // rows x cols, row 0 = alternating top row, 1 = dark
    int rows = 0;
    int cols = 0;
};

// A symbol of the given size holding the message, one ASCII codeword per byte (bytes below
// 128, no digit pairs): squares from the message encoder, which must choose that size;
// rectangles, which it does not choose, from the codewords, the standard pads and error
// correction. An empty matrix when the message does not fit.
TestSymbol symbolFor(int sizeIndex, std::string message);

// A 10x10 symbol whose data modules are wrong along one row and one column: every codeword they
// cross is wrong, so it is located and measured but not read (its message is empty).
TestSymbol smudgedSymbol();

// length letters 'A' + (i * step) % 26.
std::string letters(int length, int step);

// Errors a block of the size can correct: half its syndromes (one fewer syndrome in the two
// smallest block shapes).
int blockCapacity(int sizeIndex);

// Corrupts count distinct codewords (data or error correction) of block k of a codeword stream
// under the standard interleaving.
void corruptBlock(std::vector<uint8_t>& stream, int sizeIndex, int k, int count, std::mt19937& rng);

}  // namespace dm::test

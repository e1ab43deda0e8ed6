#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "symbology/decode_status.h"

namespace dm {

// Lays a complete codeword stream (data then ECC) into the symbol of sizeIndex and frames
// every data region with its finder and alignment patterns. Returns symbolRows x symbolCols
// bytes, row-major, 1 = dark; solid finder in column 0 and the last row.
std::vector<uint8_t> placeCodewords(std::span<const uint8_t> stream, int sizeIndex);

// For every module of the symbol (symbolRows x symbolCols, row-major, standard orientation) the
// stream bit it shows, codeword x 8 + bit with bit 0 the most significant; -1 for the finder and
// alignment patterns and the fixed modules of an unused corner. Empty for an invalid size.
std::vector<int32_t> moduleBits(int sizeIndex);

// Reads the codeword stream back out of a module matrix (any non-zero byte other than 1
// counts as light, as the decoder's matrix only ever holds 0 and 1). codewords must hold
// dataCodewords + eccCodewords bytes.
bool extractCodewords(std::span<const uint8_t> moduleMatrix, int sizeIndex,
                      std::span<uint8_t> codewords, DecodeStatus& status);

// Whether a sampled module matrix of the size (standard orientation, non-zero = dark) is a
// symbol's at all: its finder and alternating sides read right in three modules of four or more,
// and its modules are neither nearly all light nor nearly all dark. A grid laid over part of a
// symbol or over a plain patch can fail both and still pass Reed-Solomon (an all-light matrix
// reads as all-zero codewords, which form a valid block); such a reading must never count as
// decoded.
bool looksLikeASymbol(std::span<const uint8_t> matrix, int sizeIndex);

}  // namespace dm

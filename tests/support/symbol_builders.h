#pragma once

#include <cstdint>
#include <vector>

namespace dm::test {

// Module matrix (standard orientation, 1 = dark) of a symbol of the given size holding exactly
// these data codewords, padded with 129, with valid error correction.
std::vector<uint8_t> symbolWithData(std::vector<uint8_t> data, int sizeIndex);

}  // namespace dm::test

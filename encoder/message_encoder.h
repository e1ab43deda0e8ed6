#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "symbology/api.h"

namespace dm {

// Longest message accepted, in bytes (twice the largest data capacity).
inline constexpr int kMessageCapacity = 3116;

struct EncodedSymbol {
    int32_t sizeIndex = 0;
    int32_t side = 0;                   // symbol side in modules (the columns of a rectangle)
    std::vector<uint8_t> codewords;     // data (with pads), then error correction
    std::vector<uint8_t> moduleMatrix;  // rows x cols, row-major, 1 = dark
    int32_t rows = 0;
    int32_t cols = 0;
};

// ASCII encodation into the smallest square symbol. Empty input, more than 3,116 bytes or
// more than 1,558 codewords give no symbol.
DM_API std::optional<EncodedSymbol> EncodeMessage(std::span<const uint8_t> message);

inline std::optional<EncodedSymbol> EncodeMessage(std::string_view message) {
    return EncodeMessage(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(message.data()), message.size()));
}

}  // namespace dm

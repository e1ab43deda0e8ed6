#pragma once

#include <cstdint>

namespace dm {

// Data codewords with a meaning of their own: the ASCII-mode pad, latches, shifts and
// function characters, and the unlatch that ends C40, Text and X12.
inline constexpr uint8_t kPad = 129;
inline constexpr uint8_t kLatchC40 = 230;
inline constexpr uint8_t kLatchBase256 = 231;
inline constexpr uint8_t kFnc1 = 232;
inline constexpr uint8_t kStructuredAppend = 233;
inline constexpr uint8_t kReaderProgramming = 234;
inline constexpr uint8_t kUpperShift = 235;
inline constexpr uint8_t kMacro05 = 236;
inline constexpr uint8_t kMacro06 = 237;
inline constexpr uint8_t kLatchX12 = 238;
inline constexpr uint8_t kLatchText = 239;
inline constexpr uint8_t kLatchEdifact = 240;
inline constexpr uint8_t kEci = 241;
inline constexpr uint8_t kUnlatch = 254;

// The pad at a 1-based data codeword position after the first pad: 129 randomised by the
// position, so long runs of pads do not form a pattern.
constexpr uint8_t randomisedPad(int position) {
    const int v = kPad + (149 * position) % 253 + 1;
    return static_cast<uint8_t>(v > 254 ? v - 254 : v);
}

}  // namespace dm

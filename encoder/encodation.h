#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "symbology/api.h"

namespace dm {

// The six encodation schemes, or Auto: the fewest codewords over all of them.
enum class Scheme : uint8_t { Auto, Ascii, C40, Text, X12, Edifact, Base256 };

// A message character: a byte 0..255, or FNC1.
inline constexpr int kFnc1Character = 256;

struct Encodation {
    std::vector<uint8_t> codewords;  // all data codewords of the symbol, pads included
    int32_t dataLength = 0;          // codewords before the pads
    int32_t sizeIndex = -1;
};

// Encodes the characters after the prefix codewords (ASCII-mode codewords such as a Structured
// Append header, FNC1 or an ECI) into the first of the candidate sizes that holds them, in the
// given scheme or, for Auto, with the fewest codewords the end-of-data rules of that size allow.
// A forced scheme latches at once and writes every character it can; only the last one or two
// that do not fill its last codeword group are written in ASCII. Nothing when no candidate holds
// the message or the forced scheme cannot write a character (see unwritableCharacter).
DM_API std::optional<Encodation> encodeData(std::span<const uint8_t> prefix,
                                            std::span<const int> chars, Scheme scheme,
                                            std::span<const int> candidates);

// Codewords the ASCII encodation of message needs, however many.
DM_API int asciiCodewordCount(std::span<const uint8_t> message);

// Index of the first character the scheme cannot write, or -1 when it writes them all.
DM_API int unwritableCharacter(std::span<const int> chars, Scheme scheme);

}  // namespace dm

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "encoder/encodation.h"
#include "encoder/message_encoder.h"
#include "symbology/api.h"

namespace dm {

enum class Shape : uint8_t { Square, Rectangle, Any };

struct SymbolOptions {
    Scheme scheme = Scheme::Auto;
    Shape shape = Shape::Square;
    bool dmre = false;               // the rectangular extension sizes join Rectangle and Any
    bool gs1 = false;                // the message is GS1 element strings: "(01)...(17)..."
    int32_t macro = 0;               // 5 or 6: the message goes inside a Macro 05/06 envelope
    int32_t eci = -1;                // ECI number written before the message; -1 for none
    int32_t structuredAppend = 0;    // symbols of a Structured Append series (2..16); 0 for none
    bool readerProgramming = false;  // the symbol programs the reader
    int32_t sizeIndex = -1;          // this size alone instead of the shape's smallest
};

inline constexpr int kMaxStructuredAppend = 16;

struct SymbolSeries {
    std::vector<EncodedSymbol> symbols;  // one, or the series in order
    std::vector<int32_t> dataLengths;    // data codewords of each symbol before its pads
    std::string error;                   // why there are no symbols
};

// Encodes message bytes as the options say. Every failure (a malformed GS1 string, a character
// the forced scheme cannot write, a message too long for the shape, contradictory options)
// gives no symbols and a sentence for people in error.
DM_API SymbolSeries encodeSymbols(std::span<const uint8_t> message, const SymbolOptions& options);

// The message bytes in ASCII encodation in the smallest square that holds them: encodeSymbols
// with the default options and scheme ASCII, without a series' bookkeeping.
DM_API std::optional<EncodedSymbol> encodeAsciiSquare(std::span<const uint8_t> message);

// The message characters of GS1 element strings with the identifiers in parentheses: FNC1
// between fields whose length is not predefined. Empty, with a reason, when an identifier is
// unassigned or malformed or a field is empty, of the wrong length or not digits where it must be.
struct Gs1Characters {
    std::vector<int> chars;
    std::string error;
};
DM_API Gs1Characters parseGs1(std::string_view text);

}  // namespace dm

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dm::test {

// A symbol written by a peer library, read back module by module.
struct PeerSymbol {
    int rows = 0;
    int cols = 0;
    int sizeIndex = -1;           // index into our size table
    std::vector<uint8_t> matrix;  // rows x cols, row 0 = alternating top row, 1 = dark
};

enum class PeerScheme { Ascii, C40, Text, X12, Edifact, Base256 };

std::string_view schemeName(PeerScheme scheme);

// libdmtx with its encodation forced to one scheme. sizeIndex uses our table's numbering (which
// libdmtx shares); -1 picks the smallest square that holds the message. Nothing when libdmtx
// refuses the message or the result does not read back as a Data Matrix symbol.
std::optional<PeerSymbol> encodeWithDmtx(std::span<const uint8_t> message, PeerScheme scheme,
                                         int sizeIndex = -1);

struct ZintOptions {
    int size = 0;  // zint's option_2: 0 automatic, 1..24 squares, 25..30 rectangles
    bool squareOnly = true;
    int appendIndex = 0;  // Structured Append position (1-based) and count; 0 = none
    int appendCount = 0;
    std::string appendId;  // zint's sequence id text, empty for none
};

// zint with its own encodation optimiser.
std::optional<PeerSymbol> encodeWithZint(std::span<const uint8_t> message,
                                         const ZintOptions& options = {});

inline std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace dm::test

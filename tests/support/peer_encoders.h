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
// libdmtx shares); -1 picks the smallest square that holds the message. With gsAsFnc1 every
// group separator (29) of the message is written as FNC1, one at the start marking GS1 data.
// Nothing when libdmtx refuses the message or the result does not read back as a Data Matrix
// symbol.
std::optional<PeerSymbol> encodeWithDmtx(std::span<const uint8_t> message, PeerScheme scheme,
                                         int sizeIndex = -1, bool gsAsFnc1 = false);

// libdmtx choosing its schemes itself, with its slower, better search.
std::optional<PeerSymbol> encodeWithDmtxAutoBest(std::span<const uint8_t> message,
                                                 int sizeIndex = -1, bool gsAsFnc1 = false);

enum class ZintInput {
    Bytes,  // the message as it is
    Utf8,   // UTF-8 text, converted to the character set of the ECI (ISO-8859-1 without one)
    Gs1,    // GS1 element strings with the identifiers in brackets: "[01]09501101530003[17]..."
};

struct ZintOptions {
    int size = 0;  // zint's option_2: 0 automatic, 1..24 squares, 25..30 rectangles, 31..48 DMRE
    bool squareOnly = true;
    bool dmre = false;    // the rectangular extension sizes in the automatic choice
    int appendIndex = 0;  // Structured Append position (1-based) and count; 0 = none
    int appendCount = 0;
    std::string appendId;  // zint's sequence id text, empty for none
    ZintInput input = ZintInput::Bytes;
    int eci = 0;  // ECI designator before the message; 0 none
    bool readerProgramming = false;
};

// zint with its own encodation optimiser.
std::optional<PeerSymbol> encodeWithZint(std::span<const uint8_t> message,
                                         const ZintOptions& options = {});

// One part of a message in its own character set: UTF-8 text that zint converts to the set of
// the ECI and marks with its designator.
struct ZintSegment {
    int eci = 0;
    std::string text;
};

std::optional<PeerSymbol> encodeWithZintSegments(std::span<const ZintSegment> segments,
                                                 const ZintOptions& options = {});

inline std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace dm::test

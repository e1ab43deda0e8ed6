#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "detection/shared/decoder_records.h"

namespace dm {

// Turns the corrected data codewords of one symbol (exactly dataCodewords of them, in stream
// order) into the message bytes, appended to text. Starts in ASCII; latches hand over to the
// scheme decoders below. A Structured Append header at the start is recorded in state
// (appendPosition, appendTotal, fileId1, fileId2). The codewords that are not characters are
// interpreted into text and state.format: a Macro 05 or 06 codeword in the first position
// expands to its header and trailer; FNC1 in the first position marks GS1 data, in the second
// (after one letter or two digits) AIM data, and elsewhere gives the group separator 29; ECI
// designators are recorded as segments of text; Reader Programming in the first position is
// recorded. On success textLength = text.size() and status is left untouched; on failure
// (including an ECI designator that is cut off or holds no valid number) status is
// DataDecodationFailed.
bool decodeData(std::span<const uint8_t> data, std::vector<uint8_t>& text, DecodeState& state,
                DecodeStatus& status);

// The most bytes decodeData gives for this many codewords: two per codeword, and seven more
// when a macro's header and trailer stand for the first one.
constexpr size_t maxMessageBytes(size_t dataCodewords) {
    return 2 * dataCodewords + 7;
}

}  // namespace dm

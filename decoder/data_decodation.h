#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "decoder/decoder_records.h"

namespace dm {

// Turns the corrected data codewords of one symbol (exactly dataCodewords of them, in stream
// order) into the message bytes, appended to text. Starts in ASCII; latches hand over to the
// scheme decoders below. A Structured Append header at the start is recorded in state
// (appendPosition, appendTotal, fileId1, fileId2). On success textLength = text.size() and
// status is left untouched; on failure status is DataDecodationFailed.
bool decodeData(std::span<const uint8_t> data, std::vector<uint8_t>& text, DecodeState& state,
                DecodeStatus& status);

}  // namespace dm
